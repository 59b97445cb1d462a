#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/log_entry.h"
#include "engine/progress_snapshot.h"
#include "engine/run_result.h"

namespace morrowdeck {

// One engine run of a window at a time, with what the window shows of it: whether it is under
// way, its progress, its activity log and a one-line status. The backup, restore and
// check-backup models each own one and start their own engine on it; the run model holds the
// engine, hands it callbacks, and ends or retires it.
//
// Threads: UI thread only. The engine's callbacks arrive through the main queue and hold this
// model through a QPointer, so one arriving after it is gone does nothing. On destruction a
// run under way is cancelled and left to stop on a thread of its own (see retireEngine), so
// closing a window never waits for a drive. Change signals fire only on a real change.
class RunModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(
        QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)

  public:
    static constexpr std::size_t maxLogEntries = 2000;

    // The callbacks an engine's run() takes, bound to this model.
    struct Callbacks {
        std::function<void(const LogEntry&)> log;
        std::function<void(const ProgressSnapshot&)> progress;
        std::function<void(const RunResult&)> completion;
    };

    explicit RunModel(QString initialStatus, QObject* parent = nullptr);
    ~RunModel() override;

    bool isRunning() const { return running_ != nullptr; }
    const ProgressSnapshot& progress() const { return progress_; }
    const std::vector<LogEntry>& log() const { return log_; }
    QString statusMessage() const { return status_; }
    void setStatusMessage(const QString& text);
    // The status a run shows from its start ("Backing up…"), so that a new run never shows
    // the last one's ending. Empty: the status is left as it is.
    void setRunningStatus(QString text) { runningStatus_ = std::move(text); }
    void setProgress(const ProgressSnapshot& snapshot);
    // Appends one line to the log; beyond maxLogEntries the oldest lines are dropped.
    void appendLog(LogEntry entry);

    // Starts a run on `engine` unless one is under way: clears the log and the progress, then
    // calls `launch(engine, callbacks)`, which calls the engine's run(). When the run completes
    // the model is no longer running, `finish(engine, result)` says how it ended (the engine,
    // whose work has ended, is still there to read), and the engine is destroyed.
    // `Engine` has cancel(), and its destructor joins its work.
    template <typename Engine>
    bool start(std::unique_ptr<Engine> engine,
               const std::function<void(Engine&, Callbacks)>& launch,
               std::function<void(Engine&, const RunResult&)> finish);

    // Asks the engine, if any, to stop. The caller says so in the status as it sees fit.
    void cancelRun();
    // The Cancel button of the backup and restore windows: cancelRun() and "Cancelling…".
    void cancel();
    // The ending the backup and restore windows share: a failure becomes the status and one
    // error line; a finished run's final snapshot is shown with `statusOf(snapshot)`.
    void report(const RunResult& result,
                const std::function<QString(const ProgressSnapshot&)>& statusOf);

  signals:
    void isRunningChanged();
    void progressChanged();
    // The log: one line appended (and, at the cap, the oldest `dropped` removed first), or
    // cleared by a start. Views keep their list in step and scroll to the newest line.
    void logAppended(std::size_t dropped);
    void logCleared();
    void statusMessageChanged();

  private:
    // The engine of the run under way, whatever its type.
    struct Running {
        virtual ~Running() = default;
        virtual void cancel() = 0;
    };
    template <typename Engine>
    struct RunningEngine final : Running {
        explicit RunningEngine(std::unique_ptr<Engine> e) : engine(std::move(e)) {}
        void cancel() override { engine->cancel(); }
        std::unique_ptr<Engine> engine;
    };

    void begin(std::unique_ptr<Running> running);
    Callbacks callbacks(std::function<void(const RunResult&)> finish);
    void end(const RunResult& result, const std::function<void(const RunResult&)>& finish);

    std::unique_ptr<Running> running_;
    ProgressSnapshot progress_;
    std::vector<LogEntry> log_;
    QString status_;
    QString runningStatus_;
};

template <typename Engine>
bool RunModel::start(std::unique_ptr<Engine> engine,
                     const std::function<void(Engine&, Callbacks)>& launch,
                     std::function<void(Engine&, const RunResult&)> finish) {
    // A second run while one is under way would replace (and block on) the running engine.
    if (isRunning()) return false;
    Engine& started = *engine;
    begin(std::make_unique<RunningEngine<Engine>>(std::move(engine)));
    // `started` lives until end() has called `finish`: only the completion releases it.
    launch(started, callbacks([&started, finish = std::move(finish)](const RunResult& result) {
               finish(started, result);
           }));
    return true;
}

}  // namespace morrowdeck
