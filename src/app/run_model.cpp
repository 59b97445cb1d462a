#include "app/run_model.h"

#include "app/capped_log.h"
#include "app/retired_engines.h"

namespace morrowdeck {

RunModel::RunModel(QString initialStatus, QObject* parent)
    : QObject(parent), status_(std::move(initialStatus)) {}

// Callbacks of the engine still queued, and those it posts while it stops, find the model
// gone and do nothing.
RunModel::~RunModel() {
    retireEngine(std::move(running_));
}

void RunModel::setStatusMessage(const QString& text) {
    if (text == status_) return;
    status_ = text;
    emit statusMessageChanged();
}

void RunModel::setProgress(const ProgressSnapshot& snapshot) {
    if (snapshot == progress_) return;
    progress_ = snapshot;
    emit progressChanged();
}

void RunModel::appendLog(LogEntry entry) {
    emit logAppended(appendCapped(log_, std::move(entry), maxLogEntries));
}

void RunModel::begin(std::unique_ptr<Running> running) {
    if (!log_.empty()) {
        log_.clear();
        emit logCleared();
    }
    setProgress(ProgressSnapshot{});
    if (!runningStatus_.isEmpty()) setStatusMessage(runningStatus_);
    running_ = std::move(running);
    emit isRunningChanged();
}

RunModel::Callbacks RunModel::callbacks(std::function<void(const RunResult&)> finish) {
    const QPointer<RunModel> self(this);
    return {[self](const LogEntry& entry) {
                if (self) self->appendLog(entry);
            },
            [self](const ProgressSnapshot& snapshot) {
                if (self) self->setProgress(snapshot);
            },
            [self, finish = std::move(finish)](const RunResult& result) {
                if (self) self->end(result, finish);
            }};
}

void RunModel::end(const RunResult& result, const std::function<void(const RunResult&)>& finish) {
    // Held until `finish` has read it. The engine's work thread has ended (its completion is
    // posted last), so destroying it joins at once; the running callback is the queue's copy.
    const std::unique_ptr<Running> ended = std::move(running_);
    emit isRunningChanged();
    finish(result);
}

void RunModel::cancelRun() {
    if (running_) running_->cancel();
}

void RunModel::cancel() {
    cancelRun();
    setStatusMessage(QStringLiteral("Cancelling…"));
}

void RunModel::report(const RunResult& result,
                      const std::function<QString(const ProgressSnapshot&)>& statusOf) {
    if (const auto* failure = std::get_if<RunFailure>(&result)) {
        setStatusMessage(QString::fromStdString(failure->description));
        appendLog(LogEntry(LogEntry::Level::error, failure->description));
    } else {
        const auto& snapshot = std::get<ProgressSnapshot>(result);
        setProgress(snapshot);
        setStatusMessage(statusOf(snapshot));
    }
}

}  // namespace morrowdeck
