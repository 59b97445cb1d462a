#pragma once

#include <algorithm>
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

// Everything one run delivered, in delivery order.
struct RunRecord {
    RunResult result;
    std::vector<LogEntry> log;
    std::vector<ProgressSnapshot> snapshots;

    const ProgressSnapshot& final() const { return std::get<ProgressSnapshot>(result); }
    // The start-check failure's text ("" when the run started).
    std::string failure() const {
        const auto* failure = std::get_if<RunFailure>(&result);
        return failure ? failure->description : "";
    }
    bool logged(const std::string& message) const {
        return std::ranges::any_of(log, [&](const LogEntry& e) { return e.message == message; });
    }
};

// Runs `start(onLog, onProgress, completion)`, which calls the engine's run(), and waits for the
// completion. `onLine` sees every log line on the engine's threads (to cancel at an exact line).
template <typename Engine, typename Start>
RunRecord captureRun(Engine& engine, Start&& start,
                     const std::function<void(Engine&, const LogEntry&)>& onLine) {
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
        [&](const RunResult& result) {  // the last call, after every worker has finished
            record.result = result;
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

// Where a de-duplicating backup keeps its one copy of `source`, relative to the backup root:
// the source's absolute path below ".ORVEL_Store", each name as the backup stores it (so a
// Windows drive "C:" stays, in its safe form).
std::string storeCopy(const std::string& source);

// A whole file as text ("" when unreadable).
std::string readText(const std::filesystem::path& file);

}  // namespace morrowdeck::test
