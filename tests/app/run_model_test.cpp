#include "app/run_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <thread>

#include "app/retired_engines.h"
#include "app_test_support.h"

namespace morrowdeck::test {

namespace {

// An engine whose run posts a log line, a snapshot and its completion from a work thread,
// which its destructor joins; a post that waits at a closed gate keeps that thread waiting.
class FakeEngine {
  public:
    explicit FakeEngine(std::shared_ptr<MainQueue> queue) : queue_(std::move(queue)) {}
    ~FakeEngine() {
        if (thread_.joinable()) thread_.join();
    }
    void run(RunModel::Callbacks callbacks, RunResult result) {
        thread_ = std::thread([this, callbacks = std::move(callbacks), result] {
            ProgressSnapshot snapshot;
            snapshot.totalFiles = 2;
            queue_->post([callbacks] { callbacks.log(LogEntry(LogEntry::Level::info, "copying")); });
            queue_->post([callbacks, snapshot] { callbacks.progress(snapshot); });
            queue_->post([callbacks, result] { callbacks.completion(result); });
        });
    }
    void cancel() { cancelled = true; }

    std::atomic<bool> cancelled = false;

  private:
    std::shared_ptr<MainQueue> queue_;
    std::thread thread_;
};

ProgressSnapshot finished() {
    ProgressSnapshot snapshot;
    snapshot.totalFiles = snapshot.completedFiles = 2;
    snapshot.finished = true;
    return snapshot;
}

// Starts a fake run that ends with `result`; `ended` hears how it ended.
bool startFake(RunModel& run, const std::shared_ptr<MainQueue>& queue, RunResult result,
               std::function<void(FakeEngine&, const RunResult&)> ended) {
    return run.start<FakeEngine>(
        std::make_unique<FakeEngine>(queue),
        [result](FakeEngine& engine, RunModel::Callbacks callbacks) {
            engine.run(std::move(callbacks), result);
        },
        std::move(ended));
}

}  // namespace

class RunModelTest : public QObject {
    Q_OBJECT

  private slots:
    // A run clears the last run's log and progress, refuses a second start, and ends with the
    // engine still there to read; report() shows a finished run's snapshot and status.
    void runFromStartToEnd() {
        auto queue = std::make_shared<CountingQueue>();
        RunModel run(QStringLiteral("Ready."));
        run.appendLog(LogEntry(LogEntry::Level::info, "before"));
        QSignalSpy running(&run, &RunModel::isRunningChanged);
        QSignalSpy cleared(&run, &RunModel::logCleared);
        bool engineWasThere = false, runningAtTheEnd = true;
        const auto ended = [&](FakeEngine& engine, const RunResult& result) {
            engineWasThere = !engine.cancelled;
            runningAtTheEnd = run.isRunning();
            run.report(result, [](const ProgressSnapshot& s) {
                return QStringLiteral("%1 done").arg(s.completedFiles);
            });
        };
        run.setRunningStatus(QStringLiteral("Working\u2026"));
        run.setStatusMessage(QStringLiteral("The last run's ending."));
        QVERIFY(startFake(run, queue, finished(), ended));
        QVERIFY(!startFake(run, queue, finished(), ended));
        QVERIFY(run.isRunning() && run.log().empty());
        QCOMPARE(run.statusMessage(), QStringLiteral("Working\u2026"));  // never the last ending
        QCOMPARE(cleared.count(), 1);
        QVERIFY(queue->runWhile([&] { return run.isRunning(); }));
        QVERIFY(engineWasThere && !runningAtTheEnd);
        QCOMPARE(running.count(), 2);
        QCOMPARE(run.log().size(), std::size_t(1));
        QCOMPARE(run.progress(), finished());
        QCOMPARE(run.statusMessage(), QStringLiteral("2 done"));
    }

    // A failure becomes the status and one error line.
    void failureIsReported() {
        auto queue = std::make_shared<CountingQueue>();
        RunModel run{QString()};
        QVERIFY(startFake(run, queue, RunFailure{"No backup found at /x."},
                          [&](FakeEngine&, const RunResult& result) {
                              run.report(result, [](const ProgressSnapshot&) { return QString(); });
                          }));
        QVERIFY(queue->runWhile([&] { return run.isRunning(); }));
        QCOMPARE(run.log().back().level, LogEntry::Level::error);
        QCOMPARE(run.log().back().message, "No backup found at /x.");
        QCOMPARE(run.statusMessage(), QStringLiteral("No backup found at /x."));
    }

    void cancel() {
        auto queue = std::make_shared<CountingQueue>();
        RunModel run{QString()};
        run.cancel();  // without a run it only says so
        QCOMPARE(run.statusMessage(), QStringLiteral("Cancelling…"));
        bool cancelled = false;
        QVERIFY(startFake(run, queue, finished(),
                          [&](FakeEngine& engine, const RunResult&) { cancelled = engine.cancelled; }));
        run.cancelRun();
        QVERIFY(queue->runWhile([&] { return run.isRunning(); }));
        QVERIFY(cancelled);
    }

    void logKeepsTheNewestLines() {
        RunModel run{QString()};
        QSignalSpy appended(&run, &RunModel::logAppended);
        for (std::size_t i = 0; i <= RunModel::maxLogEntries; ++i)
            run.appendLog(LogEntry(LogEntry::Level::info, std::to_string(i)));
        QCOMPARE(run.log().size(), RunModel::maxLogEntries);
        QCOMPARE(run.log().front().message, "1");
        QCOMPARE(appended.last().at(0).value<std::size_t>(), std::size_t(1));
    }

    // Closing a window during a run does not wait for it: the model hands its engine to a
    // thread that cancels it, and the run's callbacks, still queued, then find it gone.
    void closingDuringARunReturnsAtOnce() {
        auto queue = std::make_shared<GatedQueue>();
        auto run = std::make_unique<RunModel>(QString());
        bool ended = false;
        queue->close();
        QVERIFY(startFake(*run, queue, finished(),
                          [&](FakeEngine&, const RunResult&) { ended = true; }));
        QVERIFY(destroyedWithoutWaiting(*queue, run));
        waitForRetiredEngines();
        QVERIFY(queue->runUntil(queue->posted()));
        QVERIFY(!ended);
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::RunModelTest)

#include "run_model_test.moc"
