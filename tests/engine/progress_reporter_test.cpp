// How a run reports: throttled snapshots, log lines, the final state, and work handed back to
// the caller's thread.
#include "engine/progress_reporter.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

#include "engine/background_task.h"
#include "engine/drained_main_queue.h"
#include "engine/engine_run.h"
#include "engine/worker_pool.h"

namespace morrowdeck {
namespace {

using namespace std::chrono_literals;

struct Harness {
    std::shared_ptr<DrainedMainQueue> queue = std::make_shared<DrainedMainQueue>();
    ProgressReporter::Clock::time_point now{};
    ProgressReporter reporter{queue, [this] { return now; }};
    std::vector<LogEntry> log;
    std::vector<ProgressSnapshot> snapshots;

    Harness() {
        reporter.setCallbacks([this](const LogEntry& entry) { log.push_back(entry); },
                              [this](const ProgressSnapshot& snap) { snapshots.push_back(snap); });
    }
};

TEST(ProgressReporter, WorkerProgressIsThrottledPhasesAreNot) {
    Harness h;
    h.reporter.maybeEmit();  // the first delivery is never throttled
    h.now += 50ms;
    h.reporter.updateAndMaybeEmit([](ProgressSnapshot& snap) { ++snap.copiedFiles; });
    h.now += 50ms;
    h.reporter.maybeEmit();  // 100 ms after the first
    h.reporter.setPhase("Copying files\u2026");
    h.queue->runPending();
    ASSERT_EQ(h.snapshots.size(), 3u);
    EXPECT_EQ(h.snapshots[1].copiedFiles, 1);
    EXPECT_EQ(h.snapshots[2].phase, "Copying files\u2026");
    ASSERT_EQ(h.log.size(), 1u);
    EXPECT_EQ(h.log[0].level, LogEntry::Level::info);
    EXPECT_EQ(h.log[0].message, "Copying files\u2026");
}

TEST(ProgressReporter, FinishDeliversTheFinalStateAfterItsLine) {
    Harness h;
    h.reporter.update([](ProgressSnapshot& snap) {
        snap.currentFile = "a.mp3";
        snap.copiedFiles = 3;
    });
    const auto final = h.reporter.finish(false, [](const ProgressSnapshot& snap) {
        return std::optional(std::to_string(snap.copiedFiles) + " copied");
    });
    EXPECT_TRUE(final.finished);
    EXPECT_EQ(final.phase, "Done");
    EXPECT_EQ(final.currentFile, "");
    bool lineFirst = false;
    h.queue->post([&] { lineFirst = h.log.size() == 1 && h.snapshots.size() == 1; });
    h.queue->runPending();
    EXPECT_TRUE(lineFirst);
    EXPECT_EQ(h.log.back().message, "3 copied");
    EXPECT_EQ(h.snapshots.back(), final);
    EXPECT_EQ(Harness().reporter.finish(true, {}).phase, "Cancelled");
}

TEST(ProgressReporter, RateAndNoCallbacks) {
    Harness h;
    h.reporter.resetStartTime();
    ProgressSnapshot snap;
    snap.processedBytes = 1000;
    h.reporter.recomputeRate(snap);
    EXPECT_EQ(snap.bytesPerSecond, 0);  // no time has passed
    h.now += 2s;
    h.reporter.recomputeRate(snap);
    EXPECT_DOUBLE_EQ(snap.bytesPerSecond, 500);

    auto queue = std::make_shared<DrainedMainQueue>();
    ProgressReporter silent(queue);
    silent.log(LogEntry::Level::error, "dropped");
    silent.setPhase("Done");
    silent.finish(false, {});
    EXPECT_EQ(queue->runPending(), 0u);
}

TEST(LogEntry, FreshIdentityAndLevelNames) {
    const LogEntry a(LogEntry::Level::warning, "same");
    EXPECT_NE(a.id, LogEntry(LogEntry::Level::warning, "same").id);
    EXPECT_EQ(levelName(a.level), "warning");
    EXPECT_EQ(levelName(LogEntry::Level::success), "success");
}

// The work runs off the caller's thread; its result is delivered only when the caller drains
// its queue, on the caller's thread — the contract the desktop app's model relies on.
TEST(BackgroundTask, RunsWorkOffThreadAndDeliversThroughTheQueue) {
    auto queue = std::make_shared<DrainedMainQueue>();
    std::optional<std::thread::id> workThread;
    std::optional<std::thread::id> deliveryThread;
    runInBackground<int>(
        queue,
        [&workThread] {
            workThread = std::this_thread::get_id();
            return 42;
        },
        [&](int value) {
            EXPECT_EQ(value, 42);
            deliveryThread = std::this_thread::get_id();
        });
    while (!deliveryThread)
        queue->waitAndRun(100ms);
    EXPECT_NE(*workThread, std::this_thread::get_id());
    EXPECT_EQ(*deliveryThread, std::this_thread::get_id());
}

// Whatever work throws on a thread of its own (exhausted memory, an error, anything) never
// leaves that thread: the background helper, the engine run and the worker pool each hand
// it back as the failure their caller already reports.
TEST(ThreadEdges, WhatTheWorkThrowsBecomesAFailureResult) {
    const std::pair<std::function<void()>, std::string> throws[] = {
        {[] { throw std::bad_alloc(); }, "Not enough memory to go on."},
        {[] { throw std::runtime_error("disk on fire"); }, "disk on fire"},
        {[] { throw 42; }, "An unexpected error stopped the work."},
    };
    for (const auto& [raise, text] : throws) {
        auto queue = std::make_shared<DrainedMainQueue>();
        std::optional<std::string> background;
        runInBackground<std::string>(
            queue,
            [raise = raise]() -> std::string {
                raise();
                return "done";
            },
            [&](std::string result) { background = std::move(result); },
            [](const std::string& why) { return "failed: " + why; });
        while (!background)
            queue->waitAndRun(100ms);
        EXPECT_EQ(*background, "failed: " + text);

        std::optional<RunResult> run;
        {
            EngineRun engineRun(queue);
            engineRun.start(
                [raise = raise]() -> ProgressSnapshot {
                    raise();
                    return {};
                },
                [&](const RunResult& result) { run = result; });
        }  // joins the work thread
        queue->runPending();
        ASSERT_TRUE(run && std::holds_alternative<RunFailure>(*run)) << text;
        EXPECT_EQ(std::get<RunFailure>(*run).description, text);

        std::exception_ptr pooled;
        try {
            runWorkerPool(8, 4, {}, [raise = raise](std::size_t index, std::size_t) {
                if (index == 3) raise();
            });
        } catch (...) {
            pooled = std::current_exception();
        }
        ASSERT_TRUE(pooled) << text;
        EXPECT_EQ(failureText(pooled), text);
    }

    // Without a failure mapping the completion still arrives, with the empty result.
    auto queue = std::make_shared<DrainedMainQueue>();
    std::optional<int> empty;
    runInBackground<int>(
        queue, []() -> int { throw std::runtime_error("lost"); },
        [&](int value) { empty = value; });
    while (!empty)
        queue->waitAndRun(100ms);
    EXPECT_EQ(*empty, 0);
}

}  // namespace
}  // namespace morrowdeck
