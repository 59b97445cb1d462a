#include <QtTest>

#include <thread>

#include "app/pane_texts.h"
#include "app/qt_main_queue.h"
#include "app/window_sizing.h"
#include "app_test_support.h"

namespace morrowdeck::test {

using paneText::Chip;

class PaneTextsTest : public QObject {
    Q_OBJECT

    static ProgressSnapshot snapshot(std::int64_t completed, std::int64_t total) {
        ProgressSnapshot s;
        s.completedFiles = completed;
        s.totalFiles = total;
        return s;
    }

  private slots:
    void progressLine_data() {
        QTest::addColumn<qint64>("completed");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("no total") << qint64(0) << qint64(0) << 0;
        QTest::newRow("truncated") << qint64(3) << qint64(8) << 37;
        QTest::newRow("all") << qint64(8) << qint64(8) << 100;
    }
    void progressLine() {
        QFETCH(qint64, completed);
        QFETCH(qint64, total);
        QFETCH(int, percent);
        QCOMPARE(paneText::percentage(snapshot(completed, total)), percent);
        QCOMPARE(paneText::filesText(snapshot(completed, total)),
                 QStringLiteral("%1 / %2 files").arg(completed).arg(total));
    }

    void rates_data() {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("throughput");
        QTest::addColumn<QString>("left");  // "" for no label
        QTest::newRow("no rate") << 0.0 << "1.2 GB" << "";
        QTest::newRow("slow") << 1000.0 << "1.2 GB • 1 KB/s" << "";
        QTest::newRow("running") << 45'300'000.0 << "1.2 GB • 45.3 MB/s" << "1m 6s left";
    }
    void rates() {
        QFETCH(double, rate);
        QFETCH(QString, throughput);
        QFETCH(QString, left);
        ProgressSnapshot s;
        s.processedBytes = 1'200'000'000;
        s.skippedBytes = 100'000'000;
        s.bytesToCopy = 4'300'000'000;
        s.bytesPerSecond = rate;
        QCOMPARE(paneText::throughputText(s), throughput);
        QCOMPARE(paneText::timeLeftText(s).value_or(QString()), left);
    }

    void finalStatusAndChips_data() {
        QTest::addColumn<qint64>("failed");
        QTest::addColumn<qint64>("missing");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("chips");
        const QStringList three{"Copied", "Linked", "Skipped"};
        QTest::newRow("complete") << qint64(0) << qint64(0) << false << "Backup complete." << three;
        QTest::newRow("cancelled") << qint64(3) << qint64(0) << true << "Cancelled."
                                   << three + QStringList{"Failed"};
        QTest::newRow("missing") << qint64(0) << qint64(2) << false
                                 << "Backup finished with issues — 2 missing."
                                 << three + QStringList{"Missing"};
        QTest::newRow("both") << qint64(3) << qint64(2) << false
                              << "Backup finished with issues — 3 failed, 2 missing."
                              << three + QStringList{"Missing", "Failed"};
    }
    void finalStatusAndChips() {
        QFETCH(qint64, failed);
        QFETCH(qint64, missing);
        QFETCH(bool, cancelled);
        QFETCH(QString, status);
        QFETCH(QStringList, chips);
        ProgressSnapshot s;
        s.failedFiles = failed;
        s.missingFiles = missing;
        s.cancelled = cancelled;
        QCOMPARE(paneText::finalStatus(s), status);
        QStringList labels;
        for (const Chip& chip : paneText::chips(s)) labels << chip.label;
        QCOMPARE(labels, chips);
    }

    void firstLaunchSize_data() {
        QTest::addColumn<QSize>("screen");  // invalid: no screen
        QTest::addColumn<QSize>("content");
        QTest::newRow("large") << QSize(1920, 1055) << QSize(1280, 860);
        QTest::newRow("wide") << QSize(1440, 875) << QSize(1280, 805);
        QTest::newRow("small") << QSize(1280, 775) << QSize(1152, 713);
        QTest::newRow("no screen") << QSize() << QSize(1280, 828);
    }
    void firstLaunchSize() {
        QFETCH(QSize, screen);
        QFETCH(QSize, content);
        QCOMPARE(initialContentSize(screen.isValid() ? std::optional(screen) : std::nullopt),
                 content);
    }

    // Tasks posted from another thread run on the UI thread, in posting order.
    void mainQueueDeliversOnUiThread() {
        auto queue = std::make_shared<QtMainQueue>();
        std::vector<int> order;
        std::vector<std::thread::id> threads;
        std::thread poster([&] {
            for (int i = 0; i < 3; ++i)
                queue->post([&, i] {
                    order.push_back(i);
                    threads.push_back(std::this_thread::get_id());
                });
        });
        poster.join();
        QTRY_COMPARE(order.size(), std::size_t(3));
        QCOMPARE(order, (std::vector<int>{0, 1, 2}));
        QCOMPARE(threads.front(), std::this_thread::get_id());
    }
};

MORROWDECK_APP_SUITE(PaneTextsTest);

}  // namespace morrowdeck::test

#include "pane_texts_test.moc"
