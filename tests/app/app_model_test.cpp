#include "app/app_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "../support/mount_guard.h"
#include "app/retired_engines.h"
#include "app_test_support.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

class AppModelTest : public QObject {
    Q_OBJECT

  private slots:
    void fieldsNotifyOnlyOnChange() {
        LoadedModel m;
        AppModel& model = *m.model;
        QCOMPARE(model.statusMessage(), QStringLiteral("Locate your Serato library to begin."));
        QSignalSpy search(&model, &AppModel::searchTextChanged);
        QSignalSpy destination(&model, &AppModel::destinationURLChanged);
        QSignalSpy status(&model, &AppModel::statusMessageChanged);
        QSignalSpy options(&model, &AppModel::optionsChanged);
        for (int i = 0; i < 2; ++i) {
            model.setSearchText(QStringLiteral("house"));
            model.setDestinationURL(fs::path("/tmp"));
            model.setStatusMessage(QStringLiteral("Cancelling…"));
            model.setOptions(BackupOptions{.threadCount = 4});
        }
        QCOMPARE(search.count() + destination.count() + status.count() + options.count(), 4);
    }

    // A load replaces the forest and selects every leaf; canStart follows destination and
    // selection, and a selection change that changes nothing is not signalled.
    void loadSelectsEveryLeaf() {
        LoadedModel m;
        AppModel& model = *m.model;
        QSignalSpy canStart(&model, &AppModel::canStartChanged);
        QSignalSpy selection(&model, &AppModel::selectionChanged);
        QVERIFY(m.load());
        std::size_t total = 0;
        for (const auto& crate : model.forest())
            total += crate->totalTrackCount();
        QCOMPARE(model.statusMessage(), QStringLiteral("Loaded %1 crate(s), %2 track reference(s).")
                                            .arg(model.allLeaves().size())
                                            .arg(total));
        QCOMPARE(model.selectedCrates(), model.allLeaves());
        QCOMPARE(canStart.count(), 0);
        model.setDestinationURL(fs::path("/tmp"));
        QVERIFY(model.canStart());
        model.selectNone();
        model.selectNone();
        QCOMPARE(selection.count(), 2);  // the load, then one selectNone
        QCOMPARE(canStart.count(), 2);
        QCOMPARE(model.selectedTrackCount(), 0);
    }

    // Tracks that no crate lists are offered as one more selectable entry; a damaged crate
    // file is named in the log.
    void notInCrateEntryAndWarnings() {
        QTemporaryDir dir;
        const fs::path library = fs::path(dir.path().toStdString()) / "_Serato_";
        fs::create_directories(library / "Subcrates");
        fs::copy_file(MORROWDECK_FIXTURES "/database-only/database V2", library / "database V2");
        std::ofstream(library / "Subcrates" / "Broken.crate") << "not a crate";
        LoadedModel m;
        QVERIFY(m.load(library));
        QVERIFY(m.model->forest().back()->isNotInCrate);
        QCOMPARE(m.model->selectedCrates().size(), std::size_t(2));
        QCOMPARE(m.model->log().size(), std::size_t(1));
        QVERIFY(m.model->log().front().message.find("Broken.crate") != std::string::npos);
    }

    // Whichever order two loads complete in, the tree is the one of the later load.
    void supersededLoadIsIgnored_data() {
        QTest::addColumn<bool>("demoLast");
        QTest::newRow("demo last") << true;
        QTest::newRow("empty last") << false;
    }
    void supersededLoadIsIgnored() {
        QFETCH(bool, demoLast);
        QTemporaryDir dir;
        const fs::path empty = fs::path(dir.path().toStdString()) / "_Serato_";
        fs::create_directories(empty);
        LoadedModel m;
        m.model->load(demoLast ? empty : demoLibrary());
        m.model->load(demoLast ? demoLibrary() : empty);
        QVERIFY(m.queue->runUntil(2));
        QCOMPARE(m.model->forest().empty(), !demoLast);
        QCOMPARE(*m.model->libraryURL(), demoLast ? demoLibrary() : empty);
        QVERIFY(!m.model->isLoading());
    }

    // Completions that arrive after the model is gone find it through a weak reference.
    void completionsAfterModelGoneDoNothing() {
        LoadedModel running;
        QVERIFY(running.load());
        QTemporaryDir backup;
        running.model->setDestinationURL(fs::path(backup.path().toStdString()));
        running.model->start();
        running.model.reset();  // cancels and joins the run; its callbacks are still queued
        QVERIFY(running.queue->runUntil(running.queue->posted()));
        LoadedModel loading;
        loading.model->load(demoLibrary());
        loading.model.reset();
        QVERIFY(loading.queue->runUntil(1));
    }

    // Closing the window during a backup does not wait for the run: the model hands its
    // engine to a thread that cancels it, and the run stops cleanly afterwards.
    void closingDuringARunReturnsAtOnce() {
        auto queue = std::make_shared<GatedQueue>();
        auto model = std::make_unique<AppModel>(queue);
        model->load(demoLibrary());
        QVERIFY(queue->runWhile([&] { return model->isLoading(); }));
        QTemporaryDir backup;
        model->setDestinationURL(fs::path(backup.path().toStdString()));
        queue->close();
        model->start();
        QVERIFY(destroyedWithoutWaiting(*queue, model));
        waitForRetiredEngines();
    }

    // The free space is measured off the UI thread, after each change of destination; the
    // late answer for a folder no longer chosen is dropped.
    void freeSpaceIsMeasuredInTheBackground() {
        auto queue = std::make_shared<CountingQueue>();
        AppModel model(queue);
        std::promise<void> release;
        model.setFreeSpaceQuery(
            [released = release.get_future().share()](const fs::path& folder) {
                if (folder == "/slow") released.wait();
                return std::optional<std::int64_t>(folder == "/slow" ? 1000 : 5'200'000);
            });
        QSignalSpy changed(&model, &AppModel::destinationFreeChanged);
        model.setDestinationURL(fs::path("/slow"));  // returns while the query waits
        QVERIFY(!model.destinationFreeText());
        model.setDestinationURL(fs::path("/fast"));
        QVERIFY(queue->runUntil(1));
        QCOMPARE(model.destinationFreeText(), QStringLiteral("5.2 MB"));
        release.set_value();
        QVERIFY(queue->runUntil(2));
        QCOMPARE(model.destinationFreeText(), QStringLiteral("5.2 MB"));
        QCOMPARE(changed.count(), 1);
        model.setDestinationURL(std::nullopt);
        QVERIFY(!model.destinationFreeText());
        QCOMPARE(changed.count(), 2);
    }

    // Dismissing changes nothing; a folder without a library only sets the status.
    void choosers() {
        const QString initial = QStringLiteral("Locate your Serato library to begin.");
        const struct {
            bool destination;
            std::optional<fs::path> answer;
            QString status, library;
        } cases[] = {
            {false, std::nullopt, initial, ""},
            {false, fs::path("/"), "No _Serato_ folder found at that location.", ""},
            {false, demoLibrary().parent_path(), "Loading library…",
             QString::fromStdString(demoLibrary())},
            {true, fs::path("/"), initial, ""},
        };
        for (const auto& c : cases) {
            LoadedModel m;
            AppModel::FolderRequest asked;
            m.model->setFolderChooser([&](const AppModel::FolderRequest& request) {
                asked = request;
                return c.answer;
            });
            c.destination ? m.model->chooseDestination() : m.model->chooseLibrary();
            QCOMPARE(asked.title,
                     c.destination ? "Choose backup destination" : "Choose your Serato library");
            QCOMPARE(asked.canCreateFolders, c.destination);
            QCOMPARE(m.model->statusMessage(), c.status);
            QCOMPARE(m.model->libraryPath(), c.library);
            QCOMPARE(m.model->destinationPath(), c.destination ? "/" : "");
        }
    }

    // A run through the engine: the log is cleared at the start, the final snapshot and
    // status arrive at the end, and "Show in File Manager" opens that run's destination.
    void backupRuns() {
        LoadedModel m;
        AppModel& model = *m.model;
        QVERIFY(m.load());
        model.appendLog(LogEntry(LogEntry::Level::info, "before"));
        QTemporaryDir backup;
        const fs::path destination(backup.path().toStdString());
        model.setDestinationURL(destination);
        QSignalSpy cleared(&model, &AppModel::logCleared);
        model.start();
        model.start();  // ignored while running
        QCOMPARE(cleared.count(), 1);
        QVERIFY(model.isRunning() && !model.canStart());
        QVERIFY(m.queue->runWhile([&] { return model.isRunning(); }));
        QVERIFY(model.progress().finished);
        QCOMPARE(model.statusMessage(), QStringLiteral("Backup complete."));
        QVERIFY(fs::exists(destination / "Genres" / "House"));
        QVERIFY(model.canStart());
        fs::path revealed;
        model.setRevealer([&](const fs::path& folder) { revealed = folder; });
        model.setDestinationURL(fs::path("/elsewhere"));
        model.revealDestination();
        QCOMPARE(revealed, destination);

        // A start check that fails: the status and one error line carry its description.
        std::ofstream(destination / "file") << "x";
        model.setDestinationURL(destination / "file" / "backup");
        model.start();
        QVERIFY(m.queue->runWhile([&] { return model.isRunning(); }));
        QCOMPARE(model.log().back().level, LogEntry::Level::error);
        QCOMPARE(model.statusMessage(), QString::fromStdString(model.log().back().message));
    }

    // The selection's size and whether it fits come from the engine's plan in the background;
    // a selection that will not fit starts only when the confirmation says so.
    void sizeAndFit() {
        LoadedModel m;
        AppModel& model = *m.model;
        QVERIFY(m.load());
        const auto planned = [&] {
            return m.queue->runWhile([&] { return !model.selectionPreview(); });
        };
        QVERIFY(planned());
        const auto all = model.selectedBytes();
        QVERIFY(all && *all > 0);
        model.selectNone();
        QCOMPARE(model.selectedBytes(), std::optional<std::int64_t>(0));

        QTemporaryDir dir;
        const fs::path drive = fs::path(dir.path().toStdString()) / "usb";
        TmpfsMount mount(drive, "size=4k");
        if (!mount.ok()) QSKIP("mounting a tmpfs needs root");
        model.setDestinationURL(drive);
        model.selectAll();
        QVERIFY(planned());
        QCOMPARE(model.selectedBytes(), all);
        QVERIFY(model.selectionWillNotFit());

        std::vector<QString> asked;
        for (const bool anyway : {false, true}) {
            model.setConfirmer([&](const QString& message) {
                asked.push_back(message);
                return anyway;
            });
            model.start();
            QCOMPARE(model.isRunning(), anyway);
        }
        QCOMPARE(asked.size(), 2u);
        QVERIFY(asked[0].startsWith(QStringLiteral("Not enough space on usb: ")));
        QVERIFY(m.queue->runWhile([&] { return model.isRunning(); }));
        QVERIFY(model.progress().failedFiles > 0);  // the files that did not fit
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::AppModelTest)

#include "app_model_test.moc"
