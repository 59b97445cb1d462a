#pragma once

#include <filesystem>
#include <functional>

#include "restore/restore_engine.h"
#include "support/engine_harness.h"

namespace morrowdeck::test {

struct RestoreOptions {
    bool overwrite = true;
    bool rebuildDatabase = true;
    std::int64_t threads = 16;
};

// Runs a restore through run() and waits for its completion; `onLine` sees every log line
// on the engine's thread.
inline RunRecord runRestore(const std::filesystem::path& backup, const std::filesystem::path& audio,
                            const std::filesystem::path& serato, RestoreOptions options = {},
                            std::function<void(RestoreEngine&, const LogEntry&)> onLine = {}) {
    RestoreEngine engine(std::make_shared<ImmediateQueue>());
    return captureRun(
        engine,
        [&](auto onLog, auto onProgress, auto completion) {
            engine.run(backup, audio, serato, options.overwrite, options.rebuildDatabase, onLog,
                       onProgress, completion, options.threads);
        },
        onLine);
}

}  // namespace morrowdeck::test
