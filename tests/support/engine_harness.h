#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backup/backup_engine.h"
#include "engine/main_queue.h"
#include "library/crate.h"

namespace morrowdeck::test {

// Runs posted tasks at once on the posting thread, so a test's callbacks see every line and
// snapshot the moment the engine produces it (and can cancel at an exact point).
class ImmediateQueue : public MainQueue {
  public:
    void post(std::function<void()> task) override { task(); }
};

// Everything one backup run delivered, in delivery order.
struct RunRecord {
    RunResult result;
    std::vector<LogEntry> log;
    std::vector<ProgressSnapshot> snapshots;

    const ProgressSnapshot& final() const { return std::get<ProgressSnapshot>(result); }
    bool failed() const { return std::holds_alternative<RunFailure>(result); }
    bool logged(const std::string& message) const;
    std::size_t count(LogEntry::Level level) const;
};

// Starts a run whose callbacks record everything into a RunRecord and waits for its
// completion. `start(onLog, onProgress, completion)` calls the engine's run(); `onLine` sees
// every log line on the engine's own threads, with the engine (to cancel at an exact moment).
template <typename Engine, typename Start>
RunRecord captureRun(Engine& engine, Start&& start, const std::function<void(Engine&, const LogEntry&)>& onLine) {
    RunRecord record;
    std::mutex mutex;  // callbacks come from the engine's threads
    std::promise<void> done;
    start(
        [&](const LogEntry& entry) {
            {
                std::lock_guard lock(mutex);
                record.log.push_back(entry);
            }
            if (onLine) onLine(engine, entry);
        },
        [&](const ProgressSnapshot& snapshot) {
            std::lock_guard lock(mutex);
            record.snapshots.push_back(snapshot);
        },
        [&](const RunResult& result) {
            {
                std::lock_guard lock(mutex);
                record.result = result;
            }
            done.set_value();
        });
    done.get_future().wait();
    return record;
}

// A backup through captureRun.
RunRecord runBackup(const std::vector<Crate::Ptr>& crates, const std::filesystem::path& destination,
                    const BackupOptions& options = {},
                    const std::optional<std::filesystem::path>& database = {},
                    std::function<void(BackupEngine&, const LogEntry&)> onLine = {});

// A crate as the loader makes it.
Crate::Ptr makeCrate(std::vector<std::string> components, std::vector<std::string> tracks,
                     bool smart = false,
                     std::optional<std::filesystem::path> file = std::string("/library/x.crate"));

// Writes a file of `size` bytes of a pattern derived from `seed`.
void writeSized(const std::filesystem::path& file, std::size_t size, char seed = 'a');

// A whole file as text ("" when unreadable).
std::string readText(const std::filesystem::path& file);

}  // namespace morrowdeck::test
