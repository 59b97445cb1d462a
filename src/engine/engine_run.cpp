#include "engine/engine_run.h"

#include "engine/failure_text.h"

namespace morrowdeck {

EngineRun::~EngineRun() {
    stop();
}

void EngineRun::stop() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void EngineRun::start(std::function<ProgressSnapshot()> work, Completion completion) {
    if (thread_.joinable()) thread_.join();  // an engine serves one run; never overlap
    thread_ = std::thread([this, work = std::move(work), completion = std::move(completion)] {
        // Whatever the work throws ends the run as a failure its completion reports; nothing
        // leaves the thread.
        RunResult result;
        try {
            result = work();
        } catch (...) {
            result = RunFailure{failureText(std::current_exception())};
        }
        reporter_.post([completion = std::move(completion), result = std::move(result)] {
            completion(result);
        });
    });
}

}  // namespace morrowdeck
