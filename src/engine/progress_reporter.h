#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/log_entry.h"
#include "engine/main_queue.h"
#include "engine/progress_snapshot.h"
#include "engine/run_problem.h"

namespace morrowdeck {

// The progress, log and cancellation state that an engine shares between its work thread,
// its copy workers and the main thread, and the rules for handing it out: phase changes and
// the end of a run are delivered at once, worker progress at most every 0.08 s. Both the
// backup and the restore engine report through one of these.
//
// Threading: one non-recursive mutex guards the snapshot and the last delivery time (the
// cancel flag is atomic, as every worker reads it before each job); it is held only for field
// updates and copies, never across callbacks or posting. Callbacks run on the MainQueue's
// thread, in posting order.
class ProgressReporter {
  public:
    using Clock = std::chrono::steady_clock;
    using LogCallback = std::function<void(const LogEntry&)>;
    using ProgressCallback = std::function<void(const ProgressSnapshot&)>;

    static constexpr std::chrono::milliseconds throttle{80};

    // `now` is replaceable so tests can drive the throttle without sleeping.
    explicit ProgressReporter(std::shared_ptr<MainQueue> mainQueue,
                              std::function<Clock::time_point()> now = Clock::now);

    // Set before a run starts; not changed while it runs.
    void setCallbacks(LogCallback onLog, ProgressCallback onProgress);

    // Whether the engine logs an info line for every file it copies, links or finds up to
    // date (off by default: a large run would flood a window's log). Set before a run starts.
    void setLinePerFile(bool on) { linePerFile_ = on; }
    bool linePerFile() const { return linePerFile_; }

    // Marks the start of the run (reference for bytesPerSecond).
    void resetStartTime();

    // Sets the phase, logs it as an info line and delivers a snapshot at once.
    void setPhase(std::string text);

    // Posts a new log line to onLog (dropped when there is none). Any thread.
    void log(LogEntry::Level level, std::string message);

    // Delivers a snapshot when the last delivery is at least `throttle` old.
    void maybeEmit();

    // Posts a copy of the snapshot to onProgress (dropped when there is none).
    void deliver(const ProgressSnapshot& snapshot);

    // Ends the run: finished, cancelled flag, phase "Cancelled" or "Done", empty current
    // file; logs the end line that `endLine` makes from the final snapshot (none: no line) at
    // the level the run's outcome gives (RunOutcome), delivers the final snapshot and returns
    // it.
    using EndLine = std::function<std::optional<std::string>(const ProgressSnapshot&)>;
    ProgressSnapshot finish(bool cancelled, const EndLine& endLine);

    // Runs in finish() just before the end line: a helper that gathers something over the
    // whole run logs it there. Set and cleared on the work thread; empty: nothing.
    void setBeforeEndLine(std::function<void()> hook) { beforeEndLine_ = std::move(hook); }

    // Posts any task to the main queue, after everything posted before it.
    void post(std::function<void()> task) { mainQueue_->post(std::move(task)); }

    // Requests cancellation; never cleared.
    void cancel();
    bool isCancelled() const;

    // Runs f(snapshot) under the lock and returns its result. Keep f short: field updates only.
    template <typename F>
    auto update(F&& f) {
        std::lock_guard lock(mutex_);
        return f(snap_);
    }

    // Runs f(snapshot) under the lock and then delivers a copy if the last delivery is at
    // least `throttle` old: update() and maybeEmit() with one lock round trip, for workers.
    template <typename F>
    void updateAndMaybeEmit(F&& f) {
        std::optional<ProgressSnapshot> copy;
        const auto now = now_();
        {
            std::lock_guard lock(mutex_);
            f(snap_);
            if (lastEmit_ && now - *lastEmit_ < throttle) return;
            lastEmit_ = now;
            copy = snap_;
        }
        deliver(*copy);
    }

    // Recomputes bytesPerSecond from processedBytes and the time since the start; call inside
    // update().
    void recomputeRate(ProgressSnapshot& snapshot) const;

    ProgressSnapshot snapshot() const;

    // The files the run could not deal with, in the order they were met (the log line naming
    // each is logged separately). Any thread.
    void addProblem(RunProblem problem);
    // One file the run failed to deal with, counted everywhere at once: the problem list, the
    // failed counter and its log line. Any thread.
    void countFailure(RunProblem problem, LogEntry::Level level, std::string line);
    // A file the run could not write (errno `error`): "Couldn't write FILE: reason", counted.
    void countFailedWrite(const std::string& file, int error);
    // A folder whose file system could not flush the run's data to the disk (errno `error`).
    void countUnsaved(const std::string& folder, int error);
    std::vector<RunProblem> problems() const;

  private:
    std::shared_ptr<MainQueue> mainQueue_;
    std::function<Clock::time_point()> now_;
    LogCallback onLog_;
    ProgressCallback onProgress_;
    std::function<void()> beforeEndLine_;
    bool linePerFile_ = false;

    mutable std::mutex mutex_;
    ProgressSnapshot snap_;
    std::vector<RunProblem> problems_;
    std::optional<Clock::time_point> lastEmit_;  // none: never delivered ("distant past")
    std::atomic<bool> cancelRequested_{false};
    Clock::time_point startTime_;  // written before workers exist, read-only afterwards
};

}  // namespace morrowdeck
