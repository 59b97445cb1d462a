#include "engine/progress_reporter.h"

#include "engine/run_outcome.h"
#include "platform/file_operations.h"

namespace morrowdeck {

ProgressReporter::ProgressReporter(std::shared_ptr<MainQueue> mainQueue,
                                   std::function<Clock::time_point()> now)
    : mainQueue_(std::move(mainQueue)), now_(std::move(now)), startTime_(now_()) {}

void ProgressReporter::setCallbacks(LogCallback onLog, ProgressCallback onProgress) {
    onLog_ = std::move(onLog);
    onProgress_ = std::move(onProgress);
}

void ProgressReporter::resetStartTime() {
    startTime_ = now_();
}

void ProgressReporter::setPhase(std::string text) {
    update([&](ProgressSnapshot& snap) { snap.phase = text; });
    log(LogEntry::Level::info, std::move(text));
    const ProgressSnapshot copy = update([&](ProgressSnapshot& snap) {
        lastEmit_ = now_();
        return snap;
    });
    deliver(copy);
}

void ProgressReporter::log(LogEntry::Level level, std::string message) {
    if (!onLog_) return;
    LogEntry entry(level, std::move(message));
    mainQueue_->post([callback = onLog_, entry = std::move(entry)] { callback(entry); });
}

void ProgressReporter::maybeEmit() {
    const auto now = now_();
    std::optional<ProgressSnapshot> copy;
    {
        std::lock_guard lock(mutex_);
        if (lastEmit_ && now - *lastEmit_ < throttle) return;
        lastEmit_ = now;
        copy = snap_;
    }
    deliver(*copy);
}

void ProgressReporter::deliver(const ProgressSnapshot& snapshot) {
    if (!onProgress_) return;
    mainQueue_->post([callback = onProgress_, snapshot] { callback(snapshot); });
}

ProgressSnapshot ProgressReporter::finish(bool cancelled, const EndLine& endLine) {
    const ProgressSnapshot copy = update([&](ProgressSnapshot& snap) {
        snap.finished = true;
        snap.cancelled = cancelled;
        snap.currentFile.clear();
        snap.phase = cancelled ? "Cancelled" : "Done";
        return snap;
    });
    if (beforeEndLine_) beforeEndLine_();
    if (endLine) {
        if (auto line = endLine(copy)) log(RunOutcome::of(copy).level(), std::move(*line));
    }
    deliver(copy);
    return copy;
}

void ProgressReporter::cancel() {
    cancelRequested_.store(true);
}

bool ProgressReporter::isCancelled() const {
    return cancelRequested_.load();
}

void ProgressReporter::recomputeRate(ProgressSnapshot& snapshot) const {
    const double seconds = std::chrono::duration<double>(now_() - startTime_).count();
    snapshot.bytesPerSecond =
        seconds > 0 ? static_cast<double>(snapshot.processedBytes) / seconds : 0;
}

ProgressSnapshot ProgressReporter::snapshot() const {
    std::lock_guard lock(mutex_);
    return snap_;
}

void ProgressReporter::addProblem(RunProblem problem) {
    std::lock_guard lock(mutex_);
    problems_.push_back(std::move(problem));
}

void ProgressReporter::countFailure(RunProblem problem, LogEntry::Level level, std::string line) {
    addProblem(std::move(problem));
    update([](ProgressSnapshot& snap) { ++snap.failedFiles; });
    log(level, std::move(line));
}

void ProgressReporter::countFailedWrite(const std::string& file, int error) {
    const std::string reason = platform::errorText(error);
    countFailure({file, RunProblem::Kind::failed, reason}, LogEntry::Level::error,
                 "Couldn't write " + file + ": " + reason);
}

void ProgressReporter::countUnsaved(const std::string& folder, int error) {
    const std::string reason = platform::errorText(error);
    countFailure({folder, RunProblem::Kind::failed, "not saved to the drive: " + reason},
                 LogEntry::Level::warning, "Couldn't flush " + folder + " to the drive: " + reason);
}

std::vector<RunProblem> ProgressReporter::problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
}

}  // namespace morrowdeck
