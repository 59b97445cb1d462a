#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "engine/main_queue.h"

namespace morrowdeck {

// A MainQueue whose tasks run when its owner drains it: the CLI's main thread and the tests
// use it in place of an event loop. post() may be called from any thread.
class DrainedMainQueue : public MainQueue {
  public:
    void post(std::function<void()> task) override;

    // Runs every task queued so far (and any they post); returns how many ran.
    std::size_t runPending();

    // Waits up to the timeout for at least one task, then runs all pending ones. Returns
    // false when the wait timed out with nothing to run.
    bool waitAndRun(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace morrowdeck
