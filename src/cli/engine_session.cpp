#include "cli/engine_session.h"

#include <iostream>

#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/preview_output.h"
#include "engine/run_outcome.h"
#include "platform/terminal.h"

namespace morrowdeck::cli {

EngineSession::EngineSession(bool json)
    : json_(json),
      progress_(std::cerr, platform::errorStreamIsTerminal(), platform::errorStreamColumns()) {
    // The first Ctrl-C cancels the run; the second ends the process at once (copies write to
    // hidden temporary names, so no partial file is left under a real name).
    platform::countInterrupts(exitCancelled);
}

std::function<void(const LogEntry&)> EngineSession::onLog() {
    return [this](const LogEntry& entry) {
        if (json_) {
            log_.push_back({{"level", levelName(entry.level)}, {"message", entry.message}});
            return;
        }
        if (verbosity == Verbosity::quiet && entry.level != LogEntry::Level::warning &&
            entry.level != LogEntry::Level::error)
            return;
        progress_.clear();
        std::cout << levelName(entry.level) << ": " << entry.message << std::endl;
    };
}

bool EngineSession::linePerFile() const {
    return !json_ && verbosity == Verbosity::verbose;
}

std::function<void(const ProgressSnapshot&)> EngineSession::onProgress() {
    return [this](const ProgressSnapshot& snapshot) { progress_.show(snapshot); };
}

std::function<void(const RunResult&)> EngineSession::completion() {
    return [this](const RunResult& outcome) { result_ = outcome; };
}

int EngineSession::wait(const std::function<void()>& cancel,
                        const std::function<std::string(const ProgressSnapshot&)>& finalLine) {
    bool cancelRequested = false;
    while (!result_) {
        queue_->waitAndRun(std::chrono::milliseconds(100));
        if (platform::interruptCount() > 0 && !cancelRequested) {
            cancelRequested = true;
            cancel();
            progress_.clear();
            std::cerr << "Cancelling: copies under way finish first (Ctrl-C again stops at once)."
                      << std::endl;
        }
    }
    progress_.clear();

    if (const auto* failure = std::get_if<RunFailure>(&*result_)) {
        std::cerr << failure->description << '\n';
        return exitUsage;
    }
    const auto& snapshot = std::get<ProgressSnapshot>(*result_);
    if (json_) {
        nlohmann::ordered_json document{
            {"snapshot", snapshotJson(snapshot)},
            {"log", std::move(log_)},
            {"problems", problemsJson(problems_ ? problems_() : std::vector<RunProblem>{})}};
        if (extendJson_) extendJson_(document);
        printJson(std::cout, document);
    } else if (finalLine && verbosity != Verbosity::quiet) {
        std::cout << finalLine(snapshot) << std::endl;
    }
    return RunOutcome::of(snapshot).exitCode();
}

nlohmann::ordered_json EngineSession::snapshotJson(const ProgressSnapshot& snap) {
    return {
        {"phase", snap.phase},
        {"totalFiles", snap.totalFiles},
        {"completedFiles", snap.completedFiles},
        {"copiedFiles", snap.copiedFiles},
        {"skippedFiles", snap.skippedFiles},
        {"linkedFiles", snap.linkedFiles},
        {"missingFiles", snap.missingFiles},
        {"failedFiles", snap.failedFiles},
        {"damagedFiles", snap.damagedFiles},
        {"totalBytes", snap.totalBytes},
        {"processedBytes", snap.processedBytes},
        {"skippedBytes", snap.skippedBytes},
        {"bytesToCopy", snap.bytesToCopy},
        {"bytesPerSecond", snap.bytesPerSecond},
        {"currentFile", snap.currentFile},
        {"finished", snap.finished},
        {"cancelled", snap.cancelled},
    };
}

}  // namespace morrowdeck::cli
