#include "engine/engine_run.h"

namespace morrowdeck {

EngineRun::~EngineRun() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void EngineRun::start(std::function<ProgressSnapshot()> work, Completion completion) {
    if (thread_.joinable()) thread_.join();  // an engine serves one run; never overlap
    thread_ = std::thread([this, work = std::move(work), completion = std::move(completion)] {
        RunResult result;
        try {
            result = work();
        } catch (const std::exception& error) {
            result = RunFailure{error.what()};
        }
        reporter_.post([completion = std::move(completion), result = std::move(result)] {
            completion(result);
        });
    });
}

}  // namespace morrowdeck
