#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/main_queue.h"

namespace morrowdeck {

// Runs one blocking call (a library load, the apply step) off the caller's thread and posts
// its result to the main queue. The call runs on a detached thread that owns everything it
// touches (the work, the completion and a reference to the queue), so the caller may go away
// before the result arrives; a completion that must not outlive its model checks a weak
// reference itself. An exception from the work ends the process as it would on any thread:
// callers pass work that reports failures in its result.
//
// Falls back to running the call on the calling thread (and still posting the result) when
// no thread can be created.
template <typename Result>
void runInBackground(std::shared_ptr<MainQueue> mainQueue, std::function<Result()> work,
                     std::function<void(Result)> completion) {
    auto task = [mainQueue, work = std::move(work), completion = std::move(completion)]() mutable {
        Result result = work();
        mainQueue->post([completion = std::move(completion), result = std::move(result)]() mutable {
            completion(std::move(result));
        });
    };
    try {
        std::thread(task).detach();
    } catch (const std::system_error&) {
        task();
    }
}

}  // namespace morrowdeck
