#include "app/app_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "../support/mount_guard.h"
#include "app_test_support.h"
#include "engine/backup_catalog.h"
#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

class AppModelTest : public QObject {
    Q_OBJECT

  private slots:
    void fieldsNotifyOnlyOnChange() {
        LoadedModel m;
        AppModel& model = *m.model;
        QCOMPARE(model.run().statusMessage(), QStringLiteral("Locate your Serato library to begin."));
        QSignalSpy search(&model.selection(), &SelectionModel::searchTextChanged);
        QSignalSpy destination(&model.plan(), &PlanModel::destinationURLChanged);
        QSignalSpy status(&model.run(), &RunModel::statusMessageChanged);
        QSignalSpy options(&model.plan(), &PlanModel::optionsChanged);
        for (int i = 0; i < 2; ++i) {
            model.selection().setSearchText(QStringLiteral("house"));
            model.plan().setDestinationURL(fs::path("/tmp"));
            model.run().setStatusMessage(QStringLiteral("Cancelling…"));
            model.plan().setOptions(BackupOptions{.threadCount = 4});
        }
        QCOMPARE(search.count() + destination.count() + status.count() + options.count(), 4);
    }

    // A load replaces the forest and selects every leaf; canStart follows destination and
    // selection, and a selection change that changes nothing is not signalled.
    void loadSelectsEveryLeaf() {
        LoadedModel m;
        AppModel& model = *m.model;
        QSignalSpy canStart(&model, &AppModel::canStartChanged);
        SelectionModel& crates = model.selection();
        QSignalSpy selection(&crates, &SelectionModel::selectionChanged);
        QVERIFY(m.load());
        std::size_t total = 0;
        for (const auto& crate : crates.forest())
            total += crate->totalTrackCount();
        QCOMPARE(model.run().statusMessage(),
                 QStringLiteral("Loaded %1 crate(s), %2 track reference(s).")
                     .arg(crates.allLeaves().size())
                     .arg(total));
        QCOMPARE(crates.selectedCrates(), crates.allLeaves());
        QCOMPARE(canStart.count(), 0);
        model.plan().setDestinationURL(fs::path("/tmp"));
        QVERIFY(model.canStart());
        crates.selectNone();
        crates.selectNone();
        QCOMPARE(selection.count(), 2);  // the load, then one selectNone
        QCOMPARE(canStart.count(), 2);
        QCOMPARE(crates.selectedTrackCount(), 0);
    }

    // Tracks that no crate lists are offered as one more selectable entry; a damaged crate
    // file is named in the log, and again at the head of a backup's log.
    void notInCrateEntryAndWarnings() {
        QTemporaryDir dir;
        const fs::path library = fs::path(dir.path().toStdString()) / "_Serato_";
        fs::create_directories(library / "Subcrates");
        fs::copy_file(MORROWDECK_FIXTURES "/database-only/database V2", library / "database V2");
        std::ofstream(library / "Subcrates" / "Broken.crate") << "not a crate";
        LoadedModel m;
        QVERIFY(m.load(library));
        QVERIFY(m.model->selection().forest().back()->isNotInCrate);
        QCOMPARE(m.model->selection().selectedCrates().size(), std::size_t(2));
        const RunModel& run = m.model->run();
        QCOMPARE(run.log().size(), std::size_t(1));
        QVERIFY(run.log().front().message.find("Broken.crate") != std::string::npos);
        m.model->plan().setDestinationURL(fs::path(dir.path().toStdString()) / "Backup");
        m.model->start();
        QCOMPARE(run.log().size(), std::size_t(1));
        QVERIFY(run.log().front().message.find("Broken.crate") != std::string::npos);
        QVERIFY(m.queue->runWhile([&] { return run.isRunning(); }));
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
             QString::fromStdString(platform::toUtf8(demoLibrary()))},
            {true, fs::path("/"), initial, ""},
        };
        for (const auto& c : cases) {
            LoadedModel m;
            FolderRequest asked;
            m.model->setFolderChooser([&](const FolderRequest& request) {
                asked = request;
                return c.answer;
            });
            c.destination ? m.model->plan().chooseDestination()
                          : m.model->library().chooseLibrary();
            QCOMPARE(asked.title,
                     c.destination ? "Choose backup destination" : "Choose your Serato library");
            QCOMPARE(asked.canCreateFolders, c.destination);
            QCOMPARE(m.model->run().statusMessage(), c.status);
            QCOMPARE(m.model->library().libraryPath(), c.library);
            QCOMPARE(m.model->plan().destinationPath(), c.destination ? "/" : "");
        }
    }

    // A run through the engine: the log is cleared at the start, the final snapshot and
    // status arrive at the end, and "Show in File Manager" opens that run's destination.
    void backupRuns() {
        LoadedModel m;
        AppModel& model = *m.model;
        QVERIFY(m.load());
        model.run().appendLog(LogEntry(LogEntry::Level::info, "before"));
        QTemporaryDir backup;
        const fs::path destination(backup.path().toStdString());
        model.plan().setDestinationURL(destination);
        QSignalSpy cleared(&model.run(), &RunModel::logCleared);
        model.start();
        model.start();  // ignored while running
        QCOMPARE(cleared.count(), 1);
        QVERIFY(model.run().isRunning() && !model.canStart());
        QVERIFY(m.queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(model.run().progress().finished);
        QCOMPARE(model.run().statusMessage(),
                 QString::fromStdString(model.run().log().back().message));
        QVERIFY(model.run().statusMessage().startsWith(QStringLiteral("Backup complete — ")));
        QVERIFY(fs::exists(destination / "Genres" / "House"));
        QVERIFY(model.canStart());
        fs::path revealed;
        model.reveal().setRevealer([&](const fs::path& folder, auto) { revealed = folder; });
        model.plan().setDestinationURL(fs::path("/elsewhere"));
        model.reveal().revealDestination();
        QCOMPARE(revealed, destination);

        // A start check that fails: the status and one error line carry its description, and
        // so does the window's message bar, offering another destination.
        model.plan().setAccessQuery(
            [](const fs::path&) { return platform::WriteAccess::writable; });
        std::ofstream(destination / "file") << "x";
        model.plan().setDestinationURL(destination / "file" / "backup");
        model.start();
        QVERIFY(m.queue->runWhile([&] { return model.run().isRunning(); }));
        QCOMPARE(model.run().log().back().level, LogEntry::Level::error);
        QCOMPARE(model.run().statusMessage(), QString::fromStdString(model.run().log().back().message));
        QVERIFY(model.notice());
        QCOMPARE(model.notice()->text, model.run().statusMessage());
        QCOMPARE(model.notice()->level, Notice::Level::error);
        QCOMPARE(model.notice()->action, Notice::Action::chooseDestination);
        model.plan().setDestinationURL(destination);
        QVERIFY(!model.notice());
    }

    // A backup of libraries loaded as one copies each one's tracks and records both libraries.
    void backupOfSeveralLibraries() {
        QTemporaryDir dir;
        const fs::path root(dir.path().toStdString());
        std::vector<fs::path> libraries;
        for (const char* drive : {"A", "B"}) {
            const fs::path library = root / drive / "_Serato_";
            const fs::path track = root / drive / (std::string(drive) + ".mp3");
            fs::create_directories(library / "Subcrates");
            std::ofstream(track) << drive;
            const auto bytes = CrateWriter::crateData({CrateWriter::volumeRelativePath(
                track, SeratoLibrary::volumeMountPrefix(library))});
            std::ofstream(library / "Subcrates" / "House.crate", std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            libraries.push_back(library);
        }
        LoadedModel m;
        AppModel& model = *m.model;
        model.library().loadAll(libraries);
        QVERIFY(m.queue->runWhile([&] { return model.library().isLoading(); }));
        const fs::path destination = root / "backup";
        model.plan().setDestinationURL(destination);
        model.start();
        QVERIFY(m.queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(fs::exists(destination / "House" / "A.mp3"));
        QVERIFY(fs::exists(destination / "House" / "B.mp3"));
        std::ifstream in(destination / ".morrowdeck" / "catalog.json", std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        const auto catalog = BackupCatalog::decode(bytes);
        QVERIFY(catalog);
        QCOMPARE(catalog->members.size(), std::size_t(2));
    }

    // A folder without a library is named in the window with what to do, once, until a library
    // loads; a file manager that cannot be opened is shown until dismissed.
    void noticesUntilFixedOrDismissed() {
        LoadedModel m;
        AppModel& model = *m.model;
        QSignalSpy changed(&model.notices(), &NoticeSource::changed);
        QTemporaryDir dir;
        const fs::path empty(dir.path().toStdString());
        model.library().open(empty);
        model.library().open(empty);
        QCOMPARE(changed.count(), 1);
        QVERIFY(model.notice());
        QCOMPARE(model.notice()->text, QStringLiteral("No _Serato_ folder in %1.").arg(dir.path()));
        QCOMPARE(model.notice()->advice, "Choose the folder that contains _Serato_.");
        QCOMPARE(model.notice()->action, Notice::Action::chooseLibrary);
        QVERIFY(m.load());
        QVERIFY(!model.notice());

        model.reveal().setRevealer([](const fs::path&, std::function<void()> failed) { failed(); });
        model.reveal().revealLibrary();
        QVERIFY(model.notice());
        QVERIFY(model.notice()->text.startsWith("Couldn't open a file manager to show "));
        QVERIFY(m.load());  // not fixed by a load
        QVERIFY(model.notice());
        model.notices().dismiss();
        QVERIFY(!model.notice());
    }

    // A destination that cannot be written is named for what it is, not as a lack of space:
    // no free space shown, no "Not enough space" question; another destination clears it.
    void unwritableDestination() {
        LoadedModel m;
        AppModel& model = *m.model;
        QVERIFY(m.load());
        QTemporaryDir dir;
        const fs::path root(dir.path().toStdString());
        TmpfsMount mount(root / "ro", "ro,size=64k");
        if (!mount.ok()) QSKIP("mounting a tmpfs needs root");
        const auto measured = [&] {
            return m.queue->runWhile([&] {
                return !model.plan().destinationAccess() || !model.plan().selectionPreview();
            });
        };
        model.plan().setDestinationURL(root / "ro" / "Backups");
        QVERIFY(measured());
        QCOMPARE(*model.plan().destinationAccess(), platform::WriteAccess::readOnly);
        QVERIFY(!model.plan().selectionPreview()->fits());  // the drive reports no free bytes
        QVERIFY(!model.plan().selectionWillNotFit());
        QVERIFY(!model.plan().destinationFreeText());
        QVERIFY(model.notice());
        QCOMPARE(model.notice()->text, "The drive is read-only.");
        QCOMPARE(model.notice()->action, Notice::Action::chooseDestination);

        bool asked = false;
        model.setConfirmer([&](const QString&) { return asked = true; });
        model.start();
        QVERIFY(m.queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(!asked);
        QVERIFY(!model.run().statusMessage().contains("space"));
        QCOMPARE(model.notice()->level, Notice::Level::error);

        model.plan().setAccessQuery([](const fs::path&) { return platform::WriteAccess::denied; });
        model.plan().setDestinationURL(root / "closed");
        QVERIFY(!model.notice());
        QVERIFY(measured());
        QCOMPARE(model.notice()->text, "Can't write to this folder.");
        model.plan().setAccessQuery(platform::writeAccess);
        fs::create_directory(root / "open");
        model.plan().setDestinationURL(root / "open");
        QVERIFY(measured());
        QVERIFY(!model.notice());
        QVERIFY(model.plan().destinationFreeText());
    }

    // While a backup runs no other library is chosen, opened or loaded, nor the same one
    // reloaded: each is refused with a notice and changes nothing. The notice goes when the
    // backup ends, and the library can be changed again.
    void libraryHeldDuringBackup() {
        LoadedModel m;
        AppModel& model = *m.model;
        QVERIFY(m.load());
        QTemporaryDir dir;
        const fs::path other(dir.path().toStdString());
        model.plan().setDestinationURL(other / "backup");
        int asked = 0;
        model.setFolderChooser([&](const FolderRequest&) {
            ++asked;
            return std::optional(other);
        });
        model.start();
        QVERIFY(model.run().isRunning());
        LibraryModel& library = model.library();
        QSignalSpy changes(&library, &LibraryModel::libraryURLChanged);
        QSignalSpy loads(&library, &LibraryModel::loadStarted);
        QSignalSpy refused(&library, &LibraryModel::refused);
        library.chooseLibrary();
        library.open(other);
        library.load(demoLibrary());
        library.load(other / "_Serato_");
        library.loadAll({demoLibrary(), other / "_Serato_"});
        QCOMPARE(asked, 0);
        QCOMPARE(changes.count() + loads.count(), 0);
        QCOMPARE(refused.count(), 5);
        QVERIFY(!library.isLoading());
        QCOMPARE(library.libraryURL(), demoLibrary());
        QVERIFY(model.notice());
        QCOMPARE(model.notice()->level, Notice::Level::warning);
        QCOMPARE(model.notice()->advice,
                 "Wait for the backup to finish, or cancel it, before opening another library.");

        QVERIFY(m.queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(!model.notice());
        library.chooseLibrary();
        QCOMPARE(asked, 1);
    }

    // The selection's size and whether it fits come from the engine's plan in the background;
    // a selection that will not fit starts only when the confirmation says so.
    void sizeAndFit() {
        LoadedModel m;
        AppModel& model = *m.model;
        QVERIFY(m.load());
        const auto planned = [&] {
            return m.queue->runWhile([&] { return !model.plan().selectionPreview(); });
        };
        QVERIFY(planned());
        const auto all = model.plan().selectedBytes();
        QVERIFY(all && *all > 0);
        model.selection().selectNone();
        QCOMPARE(model.plan().selectedBytes(), std::optional<std::int64_t>(0));

        QTemporaryDir dir;
        const fs::path drive = fs::path(dir.path().toStdString()) / "usb";
        TmpfsMount mount(drive, "size=4k");
        if (!mount.ok()) QSKIP("mounting a tmpfs needs root");
        model.plan().setDestinationURL(drive);
        model.selection().selectAll();
        QVERIFY(planned());
        QCOMPARE(model.plan().selectedBytes(), all);
        QVERIFY(model.plan().selectionWillNotFit());

        std::vector<QString> asked;
        for (const bool anyway : {false, true}) {
            model.setConfirmer([&](const QString& message) {
                asked.push_back(message);
                return anyway;
            });
            model.start();
            QCOMPARE(model.run().isRunning(), anyway);
        }
        QCOMPARE(asked.size(), 2u);
        QVERIFY(asked[0].startsWith(QStringLiteral("Not enough space on usb: ")));
        QVERIFY(m.queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(model.run().progress().failedFiles > 0);  // the files that did not fit
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::AppModelTest)

#include "app_model_test.moc"
