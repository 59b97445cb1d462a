#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/progress_line.h"
#include "engine/drained_main_queue.h"
#include "engine/log_entry.h"
#include "engine/progress_snapshot.h"
#include "engine/run_problem.h"
#include "engine/run_result.h"

namespace morrowdeck::cli {

// Drives one engine run from the command line: log lines to standard output as
// "level: message" (only warnings and errors with -q; or collected for --json), a progress
// line on a terminal, Ctrl-C as cancellation, and the exit status of the result. Main thread
// only; every engine callback runs on this thread inside wait().
class EngineSession {
  public:
    explicit EngineSession(bool json);

    // The queue to construct the engine with. The session must outlive the engine.
    std::shared_ptr<DrainedMainQueue> queue() const { return queue_; }

    std::function<void(const LogEntry&)> onLog();
    std::function<void(const ProgressSnapshot&)> onProgress();
    std::function<void(const RunResult&)> completion();

    // Whether the engine should log a line per file: -v, and not --json.
    bool linePerFile() const;

    // Runs callbacks until the completion arrives; the first Ctrl-C calls `cancel`, a second
    // ends the process at once. Then prints what the run ends with and returns the exit
    // status: 0 nothing failed or missing, 1 otherwise, 2 a failed start check, 130 cancelled.
    // `finalLine` (plain output only) is printed last when the run finished.
    int wait(const std::function<void()>& cancel,
             const std::function<std::string(const ProgressSnapshot&)>& finalLine = {});

    // Where --json's `problems` list comes from once the run has finished (none: empty).
    void setProblems(std::function<std::vector<RunProblem>()> problems) {
        problems_ = std::move(problems);
    }
    // Adds a command's own fields to the --json document (after "snapshot" and "log").
    void extendJson(std::function<void(nlohmann::ordered_json&)> extend) {
        extendJson_ = std::move(extend);
    }

    static nlohmann::ordered_json snapshotJson(const ProgressSnapshot& snapshot);

  private:
    bool json_;
    std::shared_ptr<DrainedMainQueue> queue_ = std::make_shared<DrainedMainQueue>();
    ProgressLine progress_;
    nlohmann::ordered_json log_ = nlohmann::ordered_json::array();
    std::optional<RunResult> result_;
    std::function<std::vector<RunProblem>()> problems_;
    std::function<void(nlohmann::ordered_json&)> extendJson_;
};

}  // namespace morrowdeck::cli
