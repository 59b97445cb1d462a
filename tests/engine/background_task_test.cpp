#include "engine/background_task.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "engine/drained_main_queue.h"

namespace morrowdeck {
namespace {

// The work runs off the caller's thread; its result is delivered only when the caller drains
// its queue, on the caller's thread — the contract the desktop app's model relies on.
TEST(BackgroundTask, RunsWorkOffThreadAndDeliversThroughTheQueue) {
    auto queue = std::make_shared<DrainedMainQueue>();
    const auto caller = std::this_thread::get_id();
    std::optional<std::thread::id> workThread;
    std::optional<int> delivered;
    std::thread::id deliveryThread;
    runInBackground<int>(
        queue,
        [&workThread] {
            workThread = std::this_thread::get_id();
            return 42;
        },
        [&](int value) {
            delivered = value;
            deliveryThread = std::this_thread::get_id();
        });
    while (!delivered) queue->waitAndRun(std::chrono::milliseconds(100));
    EXPECT_EQ(*delivered, 42);
    EXPECT_NE(*workThread, caller);
    EXPECT_EQ(deliveryThread, caller);
}

}  // namespace
}  // namespace morrowdeck
