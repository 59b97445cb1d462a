#include "app/pane_texts.h"
#include "app/preflight_texts.h"

#include <QtTest>
#include <thread>
#include <tuple>

#include "app/qt_main_queue.h"
#include "app/window_sizing.h"

namespace morrowdeck::test {

class PaneTextsTest : public QObject {
    Q_OBJECT

  private slots:
    // Percent, files, throughput and time left of one snapshot, joined by " | ".
    void progressTexts() {
        const struct {
            std::int64_t completed, total;
            double rate;
            const char* texts;
        } cases[] = {
            {0, 0, 0, "0 | 0 / 0 files | 1.2 GB | "},
            {3, 8, 1000, "37 | 3 / 8 files | 1.2 GB • 1 KB/s | "},
            {8, 8, 45'300'000, "100 | 8 / 8 files | 1.2 GB • 45.3 MB/s | 1m 6s left"},
        };
        // A run that has ended, finished or cancelled, shows no time left.
        ProgressSnapshot ended;
        ended.bytesPerSecond = 45'300'000;
        ended.bytesToCopy = 4'300'000'000;
        ended.finished = true;
        QCOMPARE(paneText::timeLeftText(ended), std::nullopt);
        for (const auto& c : cases) {
            ProgressSnapshot s;
            std::tie(s.totalFiles, s.completedFiles, s.bytesPerSecond) =
                std::tuple(c.total, c.completed, c.rate);
            std::tie(s.processedBytes, s.skippedBytes, s.bytesToCopy) =
                std::tuple(1'200'000'000, 100'000'000, 4'300'000'000);
            QCOMPARE(QStringList({QString::number(paneText::percentage(s)), paneText::filesText(s),
                                  paneText::throughputText(s),
                                  paneText::timeLeftText(s).value_or(QString())})
                         .join(" | "),
                     QString(c.texts));
        }
    }

    void finalStatusAndChips() {
        const struct {
            std::int64_t failed, missing;
            bool cancelled;
            const char* status;
            const char* chips;
        } cases[] = {
            {0, 0, false,
             "Backup complete — 4 copied, 0 linked, 0 up-to-date, 0 failed, 0 missing.",
             "Copied Linked Skipped"},
            {3, 0, true, "Backup cancelled.", "Copied Linked Skipped Failed"},
            {0, 2, false,
             "Backup finished with issues — 4 copied, 0 linked, 0 up-to-date, 0 failed, 2 missing.",
             "Copied Linked Skipped Missing"},
            {3, 2, false,
             "Backup finished with issues — 4 copied, 0 linked, 0 up-to-date, 3 failed, 2 missing.",
             "Copied Linked Skipped Missing Failed"},
        };
        for (const auto& c : cases) {
            ProgressSnapshot s;
            s.copiedFiles = 4;
            std::tie(s.missingFiles, s.failedFiles, s.cancelled) =
                std::tuple(c.missing, c.failed, c.cancelled);
            QCOMPARE(paneText::finalStatus(s), QString(c.status));
            QStringList labels;
            for (const auto& chip : paneText::chips(s))
                labels << chip.label;
            QCOMPARE(labels.join(' '), QString(c.chips));
        }
    }

    // The selection line names the crate entries only when some track is in two crates.
    void selectionLine() {
        QCOMPARE(paneText::selectedTracksText(2000, 6569), "2,000 tracks in 6,569 crate entries");
        QCOMPARE(paneText::selectedTracksText(1200, 1200), "1,200 tracks");
        QCOMPARE(paneText::selectedTracksText(1, 1), "1 track");
        QCOMPARE(paneText::selectedTracksText(0, 0), "0 tracks");
    }

    // The summary before a run: totals, the fit, and one line per crate.
    void preflightTexts() {
        RunPreview preview;
        QCOMPARE(preflightText::fit(preview),
                 "Choose a destination to see what is already backed up there.");
        RunPreview::Tally house;
        house.name = "Genres/House";
        std::tie(house.filesToCopy, house.bytesToCopy, house.filesUpToDate) =
            std::tuple(312, 1'200'000'000, 1688);
        house.problems.resize(3);
        RunPreview::Tally sets;
        sets.name = "Sets";
        std::tie(sets.filesUpToDate, sets.filesToLink) = std::tuple(4, 2);
        preview.crates = {house, sets};
        QCOMPARE(preflightText::totals(preview.total()),
                 "312 files to copy (1.2 GB) • 2 to link • 1,692 up to date • 3 missing");
        QCOMPARE(preflightText::totals(sets), "Nothing to copy • 2 to link • 4 up to date");
        QCOMPARE(preflightText::rows(preview),
                 (std::vector<preflightText::Row>{
                     {"Genres / House", "312 (1.2 GB)", "1,688", "3"},
                     {"Sets", "2 links", "4", ""}}));
        preview.destination = "/media/dj/Backup";
        QCOMPARE(preflightText::fit(preview), QString());  // free space unknown
        preview.drive = "/";
        preview.freeBytes = 2'000'000'000;
        QCOMPARE(preflightText::fit(preview), "Fits: 1.2 GB needed, 2 GB free.");
        preview.drive = "Backup";
        preview.freeBytes = 2'000'000'000;
        QCOMPARE(preflightText::fit(preview), "Fits on Backup: 1.2 GB needed, 2 GB free.");
        preview.drive = "Z:";
        QCOMPARE(preflightText::fit(preview), "Fits on drive Z: 1.2 GB needed, 2 GB free.");
        preview.drive = "Backup";
        preview.freeBytes = 1'000'000'000;
        QCOMPARE(preflightText::fit(preview), "Not enough space on Backup: 1.2 GB needed, 1 GB free.");
    }

    void firstLaunchSize() {
        QCOMPARE(initialContentSize(QSize(1920, 1055)), QSize(1280, 860));
        QCOMPARE(initialContentSize(QSize(1440, 875)), QSize(1280, 805));
        QCOMPARE(initialContentSize(QSize(1280, 775)), QSize(1152, 713));
        QCOMPARE(initialContentSize(std::nullopt), QSize(1280, 828));
        // Later launches: 1200 × 800 where it fits, else within the screen.
        QCOMPARE(defaultContentSize(QSize(1920, 1055)), QSize(1200, 800));
        QCOMPARE(defaultContentSize(QSize(911, 512)), QSize(819, 471));
    }

    // Tasks posted from another thread run on the UI thread, in posting order.
    void mainQueueDeliversOnUiThread() {
        auto queue = std::make_shared<QtMainQueue>();
        std::vector<std::pair<int, std::thread::id>> ran;
        std::thread([&] {
            for (int i = 0; i < 2; ++i)
                queue->post([&, i] { ran.emplace_back(i, std::this_thread::get_id()); });
        }).join();
        QTRY_COMPARE(ran.size(), std::size_t(2));
        const auto ui = std::this_thread::get_id();
        QCOMPARE(ran, (std::vector<std::pair<int, std::thread::id>>{{0, ui}, {1, ui}}));
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::PaneTextsTest)

#include "pane_texts_test.moc"
