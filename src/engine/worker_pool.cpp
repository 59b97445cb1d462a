#include "engine/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <vector>

namespace morrowdeck {

void runWorkerPool(std::size_t count, std::int64_t threads, const std::function<bool()>& cancelled,
                   const std::function<void(std::size_t, std::size_t)>& work,
                   const ThreadSpawner& spawn) {
    if (count == 0) return;
    const std::size_t width = workerCount(count, threads);

    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    std::exception_ptr firstError;  // guarded by errorMutex
    const auto loop = [&](std::size_t worker) {
        try {
            for (;;) {
                if (failed.load(std::memory_order_relaxed) || (cancelled && cancelled())) return;
                const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
                if (index >= count) return;
                work(index, worker);
            }
        } catch (...) {
            // Kept for the calling thread: an exception leaving a worker thread would end
            // the process.
            const std::lock_guard lock(errorMutex);
            if (!firstError) firstError = std::current_exception();
            failed.store(true, std::memory_order_relaxed);
        }
    };
    const auto rethrow = [&] {
        if (firstError) std::rethrow_exception(firstError);
    };
    if (width == 1) {
        loop(0);
        return rethrow();
    }

    std::vector<std::thread> workers;
    workers.reserve(width);
    try {
        for (std::size_t i = 0; i < width; ++i) {
            std::function<void()> body = [&loop, i] { loop(i); };
            workers.push_back(spawn ? spawn(std::move(body)) : std::thread(std::move(body)));
        }
    } catch (const std::system_error&) {
        // Out of threads: the workers already started share the list.
        if (workers.empty()) loop(0);
    }
    for (auto& worker : workers)
        worker.join();
    rethrow();
}

std::size_t workerCount(std::size_t count, std::int64_t threads) {
    const auto width = static_cast<std::size_t>(std::max<std::int64_t>(threads, 1));
    return std::max<std::size_t>(std::min(width, count), 1);
}

}  // namespace morrowdeck
