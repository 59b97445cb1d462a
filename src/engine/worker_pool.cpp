#include "engine/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <vector>

namespace morrowdeck {

void runWorkerPool(std::size_t count, std::int64_t threads, const std::function<bool()>& cancelled,
                   const std::function<void(std::size_t, std::size_t)>& work,
                   const ThreadSpawner& spawn) {
    if (count == 0) return;
    const std::size_t width = workerCount(count, threads);

    std::atomic<std::size_t> next{0};
    const auto loop = [&](std::size_t worker) {
        for (;;) {
            if (cancelled && cancelled()) return;
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count) return;
            work(index, worker);
        }
    };
    if (width == 1) return loop(0);

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
}

std::size_t workerCount(std::size_t count, std::int64_t threads) {
    const auto width = static_cast<std::size_t>(std::max<std::int64_t>(threads, 1));
    return std::max<std::size_t>(std::min(width, count), 1);
}

}  // namespace morrowdeck
