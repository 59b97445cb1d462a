#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "engine/progress_reporter.h"
#include "engine/run_result.h"

namespace morrowdeck {

// The life of one engine run: the progress reporter (snapshot, log, cancel flag), the work
// thread that executes the run and the completion posted after everything the run posted.
// Both engines compose one of these instead of managing their own thread.
//
// Ownership: the engine owns its EngineRun and calls stop() in its own destructor, so an
// engine may be dropped at any time, also mid-run: the work thread has ended before the
// engine's members go. EngineRun's destructor stops too, as a last guard.
class EngineRun {
  public:
    using Completion = std::function<void(const RunResult&)>;

    explicit EngineRun(
        std::shared_ptr<MainQueue> mainQueue,
        std::function<ProgressReporter::Clock::time_point()> now = ProgressReporter::Clock::now)
        : reporter_(std::move(mainQueue), std::move(now)) {}
    ~EngineRun();
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;

    // Runs `work` on the work thread (after joining an earlier run) and posts its outcome to
    // the main queue after everything the run posted: the final snapshot, or a RunFailure
    // describing what the work threw (a start check's error, exhausted memory, anything).
    void start(std::function<ProgressSnapshot()> work, Completion completion);

    // Requests cancellation; never cleared. Any thread.
    void cancel() { reporter_.cancel(); }
    // Requests cancellation and waits for the work thread. An engine's destructor calls this
    // first, before any of its members that the work reads is destroyed.
    void stop();
    bool isCancelled() const { return reporter_.isCancelled(); }

    ProgressReporter& reporter() { return reporter_; }

  private:
    ProgressReporter reporter_;
    std::thread thread_;
};

}  // namespace morrowdeck
