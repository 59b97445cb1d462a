#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/failure_text.h"
#include "engine/main_queue.h"

namespace morrowdeck {

// Runs one blocking call (a library load, the apply step) off the caller's thread and posts
// its result to the main queue. The call runs on a detached thread that owns everything it
// touches (the work, the completion and a reference to the queue), so the caller may go away
// before the result arrives; a completion that must not outlive its model checks a weak
// reference itself.
//
// Nothing the work throws leaves the thread: `failed` turns the description of what it threw
// (see failureText) into the result the completion receives, so the caller reports it like
// any other outcome. Without `failed` the completion receives a value-initialised Result,
// for callers whose empty result already stands for "nothing could be found".
//
// Falls back to running the call on the calling thread (and still posting the result) when
// no thread can be created.
template <typename Result>
void runInBackground(std::shared_ptr<MainQueue> mainQueue, std::function<Result()> work,
                     std::function<void(Result)> completion,
                     std::function<Result(const std::string&)> failed = {}) {
    auto task = [mainQueue, work = std::move(work), completion = std::move(completion),
                 failed = std::move(failed)]() mutable {
        Result result = [&]() -> Result {
            try {
                return work();
            } catch (...) {
                const std::string description = failureText(std::current_exception());
                try {
                    return failed ? failed(description) : Result{};
                } catch (...) {
                    return Result{};
                }
            }
        }();
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
