#pragma once

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace morrowdeck {

// Engines whose window model goes away while they may still run. An engine's destructor
// cancels its run and joins the work thread, which can wait for a copy onto a slow or dead
// drive; retireEngine() cancels the engine and destroys it on a thread of its own instead, so
// closing a window never waits for that. waitForRetiredEngines() blocks until every retired
// engine has stopped: main() calls it at quit, so a run stops cleanly (a copy in progress
// finishes or leaves only its temporary file) before the process ends.
namespace RetiredEngines {

// Bookkeeping of the engines still stopping; any thread.
void begin();
void end();

}  // namespace RetiredEngines

// `Engine` has cancel(); its destructor joins its work. Null does nothing.
template <typename Engine>
void retireEngine(std::unique_ptr<Engine> engine) {
    if (!engine) return;
    engine->cancel();
    RetiredEngines::begin();
    try {
        std::thread([engine = std::move(engine)]() mutable {
            engine.reset();
            RetiredEngines::end();
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the failed thread's task, and with it the engine, is already destroyed
        // here, on the caller's thread.
        RetiredEngines::end();
    }
}

// Returns once every engine retired so far has stopped. Any thread but a retiring one.
void waitForRetiredEngines();

}  // namespace morrowdeck
