#include "engine/drained_main_queue.h"

namespace morrowdeck {

void DrainedMainQueue::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ready_.notify_all();
}

std::size_t DrainedMainQueue::runPending() {
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) return ran;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();  // outside the lock: tasks may post more
        ++ran;
    }
}

bool DrainedMainQueue::waitAndRun(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, timeout, [this] { return !tasks_.empty(); })) return false;
    }
    runPending();
    return true;
}

}  // namespace morrowdeck
