#include "app/restore_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <future>

#include "app/restore_texts.h"
#include "app_test_support.h"
#include "engine/backup_catalog.h"
#include "engine/backup_manifest.h"
#include "engine/serato_error.h"
#include "library/serato_library.h"
#include "platform/path_text.h"
#include "restore/restore_status.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

namespace {

// A model over a counting queue, with a small backup (one crate of two files) and fresh
// folders to restore into.
struct Restore {
    QTemporaryDir dir;
    fs::path root{dir.path().toStdString()};
    fs::path backup = root / "Backup";
    fs::path audio = root / "Music";
    fs::path serato = root / "Library";
    std::shared_ptr<CountingQueue> queue = std::make_shared<CountingQueue>();
    std::unique_ptr<RestoreModel> model = std::make_unique<RestoreModel>(queue);

    Restore() {
        fs::create_directories(backup / "House");
        for (const char* name : {"one.mp3", "two.mp3"})
            std::ofstream(backup / "House" / name) << "audio";
    }
    void choose(const fs::path& from) {
        model->setBackupURL(from);
        model->setAudioTargetURL(audio);
        model->setSeratoURL(serato);
    }
    bool finish() {
        return queue->runWhile([&] { return model->run().isRunning(); });
    }
};

}  // namespace

class RestoreModelTest : public QObject {
    Q_OBJECT

  private slots:
    // A fresh model, its choosers (dismissing one changes nothing) and change-only signals.
    void freshModelChoosersAndSignals() {
        Restore r;
        RestoreModel& model = *r.model;
        QCOMPARE(model.run().statusMessage(),
                 QStringLiteral("Choose a Morrowdeck backup folder to restore from."));
        QVERIFY(model.overwrite() && model.rebuildDatabase() && !model.canStart());
        QVERIFY(!model.backupURL() && !model.audioTargetURL() && !model.applyResult());
        std::optional<fs::path> answer = r.backup;
        QStringList titles;
        model.setFolderChooser([&](const FolderRequest& request) {
            titles << request.title;
            return answer;
        });
        QSignalSpy backup(&model, &RestoreModel::backupURLChanged);
        QSignalSpy canStart(&model, &RestoreModel::canStartChanged);
        model.chooseBackup();
        model.chooseBackup();
        model.chooseAudioTarget();
        answer.reset();
        model.chooseSerato();
        QCOMPARE(titles,
                 QStringList({"Choose the Morrowdeck backup folder",
                              "Choose the Morrowdeck backup folder", "Where to restore the audio",
                              "Serato library to restore into"}));
        QCOMPARE(backup.count(), 1);
        QCOMPARE(model.seratoURL(), SeratoLibrary::defaultLibraryLocation());
        QVERIFY(model.canStart());
        QCOMPARE(canStart.count(), 1);
    }

    // The status reads the rebuild option as it is when the run ends; a second start while
    // one runs is ignored, so the first run is neither replaced nor cancelled.
    void runStatusFollowsTheOptionAtTheEnd() {
        Restore r;
        RestoreModel& model = *r.model;
        QVERIFY(!model.mergesIntoExistingDatabase());
        r.choose(r.backup);
        model.start();
        model.start();
        QVERIFY(model.run().isRunning() && !model.canStart());
        model.setRebuildDatabase(false);
        QVERIFY(r.finish());
        const ProgressSnapshot& progress = model.run().progress();
        QVERIFY(progress.finished && model.canStart());
        QCOMPARE(progress.completedFiles, progress.totalFiles);
        QCOMPARE(
            model.run().statusMessage(),
            QStringLiteral("Restore complete — in Serato, 'Read Tags' on the restored crates."));
        QVERIFY(fs::exists(r.audio / "House" / "two.mp3"));
        // The run rebuilt the database; the model looks at it in the background.
        QVERIFY(r.queue->runWhile([&] { return !model.mergesIntoExistingDatabase(); }));
    }


    // "No backup found at …": the status and one error line carry the description.
    void startFailure() {
        Restore r;
        RestoreModel& model = *r.model;
        r.choose(r.root / "Nothing");
        fs::create_directories(r.root / "Nothing");
        model.start();
        QVERIFY(r.finish());
        const RunModel& run = model.run();
        QCOMPARE(run.log().size(), std::size_t(1));
        QCOMPARE(run.log().back().level, LogEntry::Level::error);
        QCOMPARE(run.statusMessage(), QString::fromStdString(run.log().back().message));
    }

    void cancel() {
        Restore r;
        RestoreModel& model = *r.model;
        r.choose(r.backup);
        model.start();
        model.run().cancel();
        QVERIFY(r.finish());
        QVERIFY(model.run().progress().cancelled);
        QCOMPARE(model.run().statusMessage(), QStringLiteral("Cancelled."));
    }


    // The apply step runs off the UI thread with the chosen folder; while it runs nothing
    // can start, and its message, with any smart crate left out, comes back through the queue.
    void applyStep() {
        Restore r;
        RestoreModel& model = *r.model;
        std::promise<fs::path> asked;
        model.setApplyWork([&](const fs::path& folder) {
            asked.set_value(folder);
            return ApplyOutcome{.message = "Applied 2.", .warnings = {"No smart crate \"X\"."}};
        });
        r.choose(r.backup);
        model.setSeratoURL(std::nullopt);
        model.applyToSerato();
        QCOMPARE(model.applyResultText(), QStringLiteral("Choose your Serato library first."));
        QVERIFY(!model.isApplying());
        model.setSeratoURL(r.serato);
        model.applyToSerato();
        QVERIFY(model.isApplying() && !model.canStart() && !model.applyResult());
        QVERIFY(r.queue->runWhile([&] { return model.isApplying(); }));
        QCOMPARE(asked.get_future().get(), r.serato);
        QCOMPARE(model.applyResultText(), QStringLiteral("Applied 2.\nNo smart crate \"X\"."));
        QVERIFY(model.canStart());
    }

    // Whatever the buttons show, a restore does not start during the apply step, nor the
    // apply step (a second one included) during a restore or an apply.
    void runAndApplyExcludeEachOther() {
        Restore r;
        RestoreModel& model = *r.model;
        std::promise<void> release;
        auto released = release.get_future().share();
        std::atomic<int> applies = 0;
        model.setApplyWork([&applies, released](const fs::path&) {
            ++applies;
            released.wait();
            return ApplyOutcome{"done"};
        });
        r.choose(r.backup);
        model.applyToSerato();
        model.start();
        model.applyToSerato();
        QVERIFY(model.isApplying() && !model.run().isRunning());
        release.set_value();
        QVERIFY(r.queue->runWhile([&] { return model.isApplying(); }));
        QVERIFY(!fs::exists(r.audio));
        model.start();
        model.applyToSerato();
        QVERIFY(model.run().isRunning() && !model.isApplying());
        QVERIFY(r.finish());
        QCOMPARE(applies.load(), 1);
        QVERIFY(!model.applyResult());  // the earlier apply's result went with the new restore
    }

    // After a restore the model offers the undo of the run it created, for the Serato folder
    // chosen then only. An undo asks before it changes anything, shows a refusal (Serato
    // running) instead, and never overlaps a restore or the apply step.
    void undoLastRestoreAsksFirstAndExcludesRuns() {
        Restore r;
        RestoreModel& model = *r.model;
        UndoModel& undo = model.undo();
        std::vector<UndoModel::Prompt> prompts;
        UndoModel::Answer answer = UndoModel::Answer::cancel;
        undo.setConfirmer([&](const UndoModel::Prompt& prompt) {
            prompts.push_back(prompt);
            return answer;
        });
        r.choose(r.backup);
        QVERIFY(!model.showsUndoLastRestore());
        model.start();
        QVERIFY(r.finish());
        QVERIFY(r.queue->runWhile([&] { return !undo.lastRun(); }));
        QVERIFY(model.showsUndoLastRestore());
        QCOMPARE(undo.lastRun()->libraryRoot, r.serato / "_Serato_");
        model.setSeratoURL(r.audio);
        QVERIFY(!model.showsUndoLastRestore());
        model.setSeratoURL(r.serato);

        // Cancelled at the question: nothing changes. While the plan is made nothing starts.
        model.undoLastRestore();
        QVERIFY(undo.isUndoing() && !model.canStart() && !model.canUndo());
        model.start();
        model.applyToSerato();
        QVERIFY(!model.run().isRunning() && !model.isApplying());
        QVERIFY(r.queue->runWhile([&] { return undo.isUndoing(); }));
        QCOMPARE(prompts.size(), std::size_t(1));
        QVERIFY(prompts[0].refusal.isEmpty() && !prompts[0].offersForce);
        QVERIFY(prompts[0].lines.value(0).startsWith("Undo run " + prompts[0].runId + ": put back "));
        QVERIFY(fs::exists(r.audio / "House" / "two.mp3"));

        // Serato running: the refusal is shown, and confirming it does nothing.
        fs::create_directories(r.root / "proc" / "self");
        fs::create_directories(r.root / "proc" / "100");
        std::ofstream(r.root / "proc" / "100" / "comm") << "Serato DJ Pro\n";
        std::ofstream(r.root / "proc" / "100" / "cmdline") << "Serato DJ Pro";
        undo.setProcessTable(r.root / "proc");
        answer = UndoModel::Answer::undoAnyway;
        model.undoLastRestore();
        QVERIFY(r.queue->runWhile([&] { return undo.isUndoing(); }));
        QCOMPARE(prompts.size(), std::size_t(2));
        QCOMPARE(prompts[1].refusal, QString::fromStdString(SeratoError::seratoRunning().description()));
        QVERIFY(prompts[1].lines.isEmpty());
        QVERIFY(fs::exists(r.audio / "House" / "two.mp3"));
        undo.setProcessTable(r.root / "no proc");

        // No undo during a restore.
        model.start();
        model.undoLastRestore();
        QVERIFY(!undo.isUndoing());
        QVERIFY(!model.undoRun(undo.lastRun()->libraryRoot, undo.lastRun()->id));
        QVERIFY(r.finish());
        QCOMPARE(prompts.size(), std::size_t(2));

        // Confirmed: the second restore (the newest run) is undone and reported.
        QVERIFY(r.queue->runWhile([&] { return undo.lastRun()->id == prompts[0].runId.toStdString(); }));
        answer = UndoModel::Answer::undo;
        model.undoLastRestore();
        QVERIFY(r.queue->runWhile([&] { return undo.isUndoing(); }));
        QCOMPARE(prompts.size(), std::size_t(3));
        QVERIFY(model.run().statusMessage().startsWith("Undid run " + prompts[2].runId));
        QVERIFY(!undo.lastRun() && !model.showsUndoLastRestore() && model.canStart());
    }

    // A backup with a damaged and a lost file: each is named, with its path, on a line of its
    // own as the command line prints it, however long the log grows; the next restore starts
    // without them, as does an undo, which also hides the restore's progress and apply result.
    void problemsOfTheLastRun() {
        Restore r;
        RestoreModel& model = *r.model;
        BackupManifest manifest;
        manifest.entries["House/one.mp3"] = {5, {}, {1, 2}};  // not the hash of "audio"
        fs::create_directories(BackupManifest::fileOf(r.backup).parent_path());
        std::ofstream(BackupManifest::fileOf(r.backup)) << manifest.encode();
        BackupCatalog catalog;
        catalog.tracks = {{"House/one.mp3", "Music/one.mp3"},
                          {"House/two.mp3", "Music/two.mp3"},
                          {"House/gone.mp3", "Music/gone.mp3"}};
        const auto encoded = catalog.encode();
        std::ofstream(r.backup / ".morrowdeck" / "catalog.json", std::ios::binary)
            .write(reinterpret_cast<const char*>(encoded.data()),
                   static_cast<std::streamsize>(encoded.size()));
        model.setApplyWork([](const fs::path&) { return ApplyOutcome{"Applied."}; });
        r.choose(r.backup);
        model.applyToSerato();
        QVERIFY(r.queue->runWhile([&] { return model.isApplying(); }));
        model.start();
        QVERIFY(!model.applyResult());
        QVERIFY(r.finish());
        const QString one = QString::fromStdString(platform::toUtf8(r.audio / "House" / "one.mp3"));
        QCOMPARE(model.problemLines(),
                 QStringList({"warning: Missing from the backup: House/gone.mp3",
                              "warning: Damaged in the backup: House/one.mp3 — its content "
                              "differs from when it was backed up; left " + one + " as it was."}));
        for (std::size_t i = 0; i < RunModel::maxLogEntries; ++i)  // pushes the run's lines out
            model.run().appendLog(LogEntry(LogEntry::Level::info, "later"));
        QCOMPARE(model.problemLines().size(), 2);

        // An undo starts with nothing of the restore on show.
        model.applyToSerato();
        QVERIFY(r.queue->runWhile([&] { return model.isApplying(); }));
        QVERIFY(r.queue->runWhile([&] { return !model.undo().lastRun(); }));
        model.undo().setConfirmer([](const UndoModel::Prompt&) { return UndoModel::Answer::undo; });
        QSignalSpy started(&model.undo(), &UndoModel::undoStarted);
        QVERIFY(model.undoRun(model.undo().lastRun()->libraryRoot, model.undo().lastRun()->id));
        QVERIFY(r.queue->runWhile([&] { return started.isEmpty(); }));
        QVERIFY(model.problemLines().isEmpty() && !model.applyResult());
        QVERIFY(!model.run().progress().finished);
        QVERIFY(r.queue->runWhile([&] { return model.undo().isUndoing(); }));

        // A clean restore has no problems to show.
        fs::remove(BackupManifest::fileOf(r.backup));
        fs::remove(r.backup / ".morrowdeck" / "catalog.json");
        model.start();
        QVERIFY(r.finish());
        QVERIFY(model.problemLines().isEmpty());
    }

    // The backup folder the main window gives is the window's start until the user chooses one.
    void givenBackupFolder() {
        Restore r;
        RestoreModel& model = *r.model;
        model.setBackupFolder(std::nullopt);
        QVERIFY(!model.backupURL());
        model.setBackupFolder(r.backup);
        QCOMPARE(model.backupURL(), r.backup);
        model.setBackupFolder(r.audio);
        QCOMPARE(model.backupURL(), r.audio);
        model.setFolderChooser([&](const FolderRequest&) { return r.backup; });
        model.chooseBackup();
        model.setBackupFolder(r.audio);
        QCOMPARE(model.backupURL(), r.backup);
    }

    // Before the first run the status names what is still to choose; after a run it keeps
    // the outcome while the folders change.
    void statusAsksForWhatIsStillToChoose() {
        Restore r;
        RestoreModel& model = *r.model;
        model.setSeratoURL(std::nullopt);
        model.setBackupFolder(r.backup);
        QCOMPARE(model.run().statusMessage(), "Choose the folder to copy the music into.");
        model.setAudioTargetURL(r.audio);
        QCOMPARE(model.run().statusMessage(), "Choose the Serato library to write.");
        model.setSeratoURL(r.serato);
        QCOMPARE(model.run().statusMessage(), "Ready to restore.");
        model.setBackupURL(std::nullopt);
        QCOMPARE(model.run().statusMessage(), "Choose a Morrowdeck backup folder to restore from.");
        r.choose(r.backup);
        model.start();
        QVERIFY(r.finish());
        const QString outcome = model.run().statusMessage();
        QVERIFY(outcome.startsWith("Restore"));
        model.setAudioTargetURL(r.root / "Elsewhere");
        QCOMPARE(model.run().statusMessage(), outcome);
    }

    // The backup's crates come from its catalog (the folder of tracks in no crate left out),
    // all checked. Unchecking a crate unchecks those below it and leaves its group partly
    // checked; the checked crates are what is restored, none: no restore and the reason.
    void checkedCratesChooseWhatIsRestored() {
        Restore r;
        RestoreModel& model = *r.model;
        BackupCratesModel& crates = model.crates();
        BackupCatalog catalog;
        catalog.crates = {"Genres/House", "Genres/Techno", "Disco", "Genres", "Loose"};
        catalog.notInCrateFolder = "Loose";
        fs::create_directories(r.root / "Catalogued" / ".morrowdeck");
        const auto bytes = catalog.encode();
        std::ofstream(r.root / "Catalogued" / ".morrowdeck" / "catalog.json", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        r.choose(r.root / "Catalogued");
        QVERIFY(r.queue->runWhile([&] { return crates.isEmpty(); }));
        const auto name = [&](const QModelIndex& index) { return index.data().toString(); };
        const QModelIndex disco = crates.index(0, 0), genres = crates.index(1, 0);
        QCOMPARE(crates.rowCount(), 2);
        QCOMPARE(name(disco) + name(genres) + name(crates.index(0, 0, genres)), "DiscoGenresHouse");
        QCOMPARE(crates.chosenPaths(), std::vector<std::string>{});

        const auto set = [&](const QModelIndex& index, Qt::CheckState state) {
            crates.setData(index, state, Qt::CheckStateRole);
        };
        const auto state = [&](const QModelIndex& index) {
            return index.data(Qt::CheckStateRole).value<Qt::CheckState>();
        };
        set(crates.index(0, 0, genres), Qt::Unchecked);
        QCOMPARE(state(genres), Qt::PartiallyChecked);
        QCOMPARE(crates.chosenPaths(), (std::vector<std::string>{"Disco", "Genres/Techno"}));
        set(genres, Qt::Checked);  // what a click on a partly checked crate sets
        QCOMPARE(state(crates.index(0, 0, genres)), Qt::Checked);
        set(disco, Qt::Unchecked);
        QCOMPARE(crates.chosenPaths(), std::vector<std::string>{"Genres"});
        QVERIFY(model.canStart());
        set(genres, Qt::Unchecked);
        QCOMPARE(state(crates.index(1, 0, genres)), Qt::Unchecked);
        QVERIFY(!crates.anyChecked() && !model.canStart());
        QCOMPARE(model.run().statusMessage(), "Check at least one crate to restore.");

        // A backup without a catalog: its folders are its crates, and only the checked ones
        // come back.
        fs::create_directories(r.backup / "Disco");
        std::ofstream(r.backup / "Disco" / "three.mp3") << "audio";
        r.choose(r.backup);
        QVERIFY(r.queue->runWhile([&] { return crates.isEmpty(); }));
        QCOMPARE(name(crates.index(0, 0)) + name(crates.index(1, 0)), "DiscoHouse");
        set(crates.index(0, 0), Qt::Unchecked);
        model.start();
        QVERIFY(r.finish());
        QVERIFY(fs::exists(r.audio / "House" / "two.mp3"));
        QVERIFY(!fs::exists(r.audio / "Disco"));
    }

    // As it was, every library of the backup needs a target: a drive that is not connected
    // holds the restore back until a folder is chosen for it. Each library's tracks then go
    // back to their own paths below its target.
    void asItWasNeedsATargetForEveryLibrary() {
        Restore r;
        RestoreModel& model = *r.model;
        BackupCatalog catalog;
        BackupCatalog::Member home, drive;
        home.name = "home";
        drive.name = "Gig Drive";
        drive.label = "Gig Drive";
        drive.uuid = "0000-NOT-MOUNTED";
        drive.volumePrefix = drive.mountPoint = "/media/dj/Gig Drive";
        catalog.members = {home, drive};
        catalog.tracks = {{"House/one.mp3", "Music/one.mp3", 0}, {"House/two.mp3", "Tracks/two.mp3", 1}};
        catalog.crates = {"House"};
        fs::create_directories(r.backup / ".morrowdeck");
        const auto bytes = catalog.encode();
        std::ofstream(r.backup / ".morrowdeck" / "catalog.json", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        r.choose(r.backup);
        model.setLayout(RestoreModel::Layout::asItWas);
        QVERIFY(!model.overwrite());  // the drive's own files are kept unless asked
        QVERIFY(r.queue->runWhile([&] { return model.targets().size() < 2; }));
        QCOMPARE(model.targets()[0].found, MemberTarget::Found::home);
        QCOMPARE(model.targets()[1].found, MemberTarget::Found::none);
        QVERIFY(!model.canStart());
        QCOMPARE(model.run().statusMessage(), "Choose where each library goes back to.");

        model.setTargetFolder("home", r.root / "Home");
        model.setTargetFolder("Gig Drive", r.root / "Gig");
        QVERIFY(r.queue->runWhile([&] { return model.targets()[1].found != MemberTarget::Found::mapped; }));
        QCOMPARE(model.targets()[1].root, r.root / "Gig");
        QCOMPARE(model.targets()[1].files, std::size_t(1));
        QVERIFY(model.canStart());
        model.start();
        QVERIFY(r.finish());
        QVERIFY(fs::exists(r.root / "Home" / "Music" / "one.mp3"));
        QVERIFY(fs::exists(r.root / "Gig" / "Tracks" / "two.mp3"));
        QVERIFY(!fs::exists(r.audio / "House"));
    }

    // An apply result that arrives after the model is gone does nothing.
    void applyResultAfterTheModelIsGone() {
        Restore r;
        std::promise<void> release;
        auto released = release.get_future().share();
        r.model->setApplyWork([released](const fs::path&) {
            released.wait();
            return ApplyOutcome{"late"};
        });
        r.choose(r.backup);
        r.model->applyToSerato();
        r.model.reset();
        const int pending = r.queue->posted() + 1;
        release.set_value();
        QVERIFY(r.queue->runUntil(pending));
    }

    // The two final texts the runs above do not reach.
    void statusTexts() {
        ProgressSnapshot snapshot;
        QCOMPARE(restoreStatusMessage(snapshot, true),
                 "Restore complete — just open Serato, your library is ready.");
        snapshot.failedFiles = 1;
        QCOMPARE(restoreStatusMessage(snapshot, true), "Restore finished with 1 error(s).");
    }

    void windowTexts() {
        const QString none = QStringLiteral("No backup selected");
        QCOMPARE(restoreText::locationTitle(std::nullopt, none), none);
        QCOMPARE(restoreText::locationTitle(fs::path("/a/Backup/"), none), "Backup");
        QCOMPARE(restoreText::locationTitle(fs::path("/"), none), "/");
        QCOMPARE(restoreText::locationSubtitle(fs::path("/a/b"), none), "/a/b");
        QVERIFY(restoreText::rebuildCaption(true, false).startsWith("Writes a fresh database"));
        QVERIFY(restoreText::rebuildCaption(true, true).startsWith("Adds the restored tracks"));
        QVERIFY(restoreText::rebuildCaption(false, true).startsWith("Leaves the database alone"));
        ProgressSnapshot progress;
        progress.totalFiles = 8;
        progress.completedFiles = 3;
        QCOMPARE(restoreText::countText(progress), "3 / 8");
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::RestoreModelTest)

#include "restore_model_test.moc"
