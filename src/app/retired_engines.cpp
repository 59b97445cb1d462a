#include "app/retired_engines.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace morrowdeck {

namespace {

struct Stopping {
    std::mutex mutex;
    std::condition_variable stopped;
    std::size_t count = 0;
};

// Never destroyed: a retiring thread may still end after main() has returned.
Stopping& stopping() {
    static auto* state = new Stopping;
    return *state;
}

}  // namespace

void RetiredEngines::begin() {
    const std::lock_guard lock(stopping().mutex);
    ++stopping().count;
}

void RetiredEngines::end() {
    Stopping& state = stopping();
    const std::lock_guard lock(state.mutex);
    --state.count;
    state.stopped.notify_all();
}

void waitForRetiredEngines() {
    Stopping& state = stopping();
    std::unique_lock lock(state.mutex);
    state.stopped.wait(lock, [&] { return state.count == 0; });
}

}  // namespace morrowdeck
