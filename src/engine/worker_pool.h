#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

namespace morrowdeck {

// Runs work(i, worker) for every index of a list on a bounded set of threads: at most `threads` (at
// least 1, never more than the list is long), indices taken in list order, none started once
// `cancelled()` answers true (those are dropped, not run). When threads cannot be created the
// ones already started share the list; with none, the calling thread works through it alone.
// Returns when every started work item has finished. `worker` is the running thread's slot
// in [0, workerCount(count, threads)), so callers can keep per-thread state without locks.
// An exception thrown by `work` (or `cancelled`) stops the dispatch like a cancellation; once
// every started item has finished, the first one is rethrown on the calling thread, so it
// never leaves a worker thread.
//
// `spawn` starts one thread; tests replace it to make thread creation fail.
using ThreadSpawner = std::function<std::thread(std::function<void()>)>;

void runWorkerPool(std::size_t count, std::int64_t threads, const std::function<bool()>& cancelled,
                   const std::function<void(std::size_t index, std::size_t worker)>& work,
                   const ThreadSpawner& spawn = {});

// The number of threads runWorkerPool uses for a list of `count` items.
std::size_t workerCount(std::size_t count, std::int64_t threads);

}  // namespace morrowdeck
