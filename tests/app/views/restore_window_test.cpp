#include "app/views/restore_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <memory>

#include "app/app_model.h"
#include "app/pane_texts.h"
#include "app/qt_main_queue.h"
#include "app/restore_model.h"
#include "app/restore_texts.h"
#include "app/saved_runs.h"
#include "app/views/location_row.h"
#include "app/views/main_window.h"
#include "app/views/problem_list.h"
#include "app/views/restore_progress.h"
#include "app_test_support.h"
#include "engine/backup_manifest.h"
#include "engine/serato_error.h"
#include "library/serato_folder.h"
#include "platform/path_text.h"

using namespace morrowdeck;
namespace fs = std::filesystem;

namespace {

// Every file under `root` (bar the undo folder and the library lock) with its hash.
QMap<QString, QByteArray> tree(const QString& root) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QString name = QDir(root).relativeFilePath(path);
        if (name.startsWith(".morrowdeck-undo/") || name == ".morrowdeck.lock") continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) qFatal("unreadable %s", qPrintable(path));
        files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return files;
}

QMap<QString, QByteArray> tree(const QString& serato, const QString& audio) {
    QMap<QString, QByteArray> files = tree(serato);
    files.insert(tree(audio));
    return files;
}

// Answers the next message box with the button titled `button`, after noting its texts.
void answerNextMessageBox(const QString& button, QString* texts) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, texts] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        *texts = box->text() + '\n' + box->informativeText();
        for (QAbstractButton* candidate : box->buttons())
            *texts += "\n[" + candidate->text() + (candidate == box->defaultButton() ? "*]" : "]");
        for (QAbstractButton* candidate : box->buttons())
            if (candidate->text() == button) candidate->click();
        poll->deleteLater();
    });
    poll->start(20);
}

}  // namespace

class RestoreWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    // Each test starts without what an earlier one chose, and never with the user's settings.
    void init() { test::isolateSettings(); }
    void freshWindowKeepsChoicesWhenReopened();
    void runningCancelledAndApplying();
    void progressThreeOfEight();
    void problemsListedAndCopied();
    void restoreDemoBackupThroughWindow();

  private:
    QString folder(const QString& name);
    void undoThroughWindow(MainWindow& main, const QString& serato, const QString& audio,
                           const QMap<QString, QByteArray>& before);

    QTemporaryDir temp_;
};

QString RestoreWindowTest::folder(const QString& name) {
    const QString path = temp_.filePath(name);
    QDir().mkpath(path);
    return path;
}

void RestoreWindowTest::freshWindowKeepsChoicesWhenReopened() {
    MainWindow main(std::make_shared<QtMainQueue>());
    main.show();
    QVERIFY(main.restoreAction()->isEnabled());
    main.restoreAction()->trigger();
    RestoreWindow* window = main.restoreWindow();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowModality(), Qt::WindowModal);
    // 580 × 740 where the screen has room; shorter on this 800 × 600 one, Start still in view.
    const QSize screen = window->screen()->availableGeometry().size();
    QCOMPARE(window->size(), QSize(580, std::min(740, screen.height() * 92 / 100)));
    QVERIFY(window->rect().contains(QRect(window->startButton()->mapTo(window, QPoint()),
                                          window->startButton()->size())));

    QCOMPARE(window->backupRow()->title(), "No backup selected");
    QCOMPARE(window->backupRow()->subtitle(), "The folder you previously backed up into");
    QCOMPARE(window->audioRow()->title(), "No audio location");
    QCOMPARE(window->audioRow()->subtitle(), "Where the music files are copied");
    QCOMPARE(window->seratoRow()->title(), "_Serato_");
    QCOMPARE(window->seratoRow()->subtitle(), QDir::home().filePath("Music/_Serato_"));
    QCOMPARE(window->statusText(), "Choose a Morrowdeck backup folder to restore from.");
    QVERIFY(window->overwriteBox()->isChecked());
    QVERIFY(window->rebuildBox()->isChecked());
    QVERIFY(!window->startButton()->isHidden() && !window->startButton()->isEnabled());
    QVERIFY(window->cancelButton()->isHidden());
    QVERIFY(window->applyButton()->isEnabled());
    QCOMPARE(window->applyButton()->text(), "Apply ratings && rules to Serato");  // one "&" shown
    QVERIFY(!window->showsApplySpinner());
    QCOMPARE(window->applyResultText(), QString());
    QVERIFY(window->progressSection()->isHidden());
    QCOMPARE(window->closeButton()->focusPolicy(), Qt::NoFocus);

    // The options write through to the model; the caption follows the rebuild option at once.
    QCOMPARE(window->rebuildCaption(), restoreText::rebuildCaption(true, false));
    window->rebuildBox()->click();
    QVERIFY(!main.restoreModel().rebuildDatabase());
    QCOMPARE(window->rebuildCaption(), restoreText::rebuildCaption(false, false));
    window->overwriteBox()->click();
    QVERIFY(!main.restoreModel().overwrite());

    // The choosers fill the rows; closing and reopening keeps every choice.
    const QString backup = folder("chosen backup");
    main.restoreModel().setFolderChooser([&](const FolderRequest&) { return fs::path(backup.toStdString()); });
    window->backupRow()->chooseButton()->click();
    QCOMPARE(window->backupRow()->title(), "chosen backup");
    QCOMPARE(window->backupRow()->subtitle(), backup);
    window->closeButton()->click();
    QVERIFY(!window->isVisible());
    main.restoreAction()->trigger();
    QCOMPARE(main.restoreWindow(), window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->backupRow()->title(), "chosen backup");
    QVERIFY(!window->rebuildBox()->isChecked());
    QVERIFY(!window->overwriteBox()->isChecked());
}

void RestoreWindowTest::runningCancelledAndApplying() {
    // Engine callbacks and the apply result wait in the queue until the test lets them through.
    const auto queue = std::make_shared<test::CountingQueue>();
    RestoreModel model(queue);
    RestoreWindow window(model);
    window.show();
    const QString backup = folder("held/backup/House");
    QFile track(backup + "/one.mp3");
    QVERIFY(track.open(QIODevice::WriteOnly) && track.write("audio") == 5);
    track.close();
    model.setBackupURL(fs::path(backup.toStdString()).parent_path());
    model.setAudioTargetURL(fs::path(folder("held/audio").toStdString()));
    model.setSeratoURL(fs::path(folder("held/serato").toStdString()) / "_Serato_");
    QVERIFY(window.startButton()->isEnabled());

    // Running, nothing reported yet: 0 of 0, Cancel instead of Start, no apply.
    window.startButton()->click();
    QVERIFY(model.run().isRunning());
    QVERIFY(window.startButton()->isHidden());
    QVERIFY(!window.cancelButton()->isHidden());
    QVERIFY(!window.applyButton()->isEnabled());
    RestoreProgress& progress = *window.progressSection();
    QVERIFY(!progress.isHidden());
    QCOMPARE(progress.percentText(), "0%");
    QCOMPARE(progress.countText(), "0 / 0");
    QCOMPARE(progress.barFraction(), 0.0);
    QCOMPARE(window.statusText(), "Restoring…");  // never what the window said before the run

    // The close button stays usable during a run, and closing does not stop it.
    QVERIFY(window.closeButton()->isEnabled());
    window.closeButton()->click();
    QVERIFY(model.run().isRunning());
    window.show();

    window.cancelButton()->click();
    QCOMPARE(window.statusText(), "Cancelling…");
    QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
    QVERIFY(!window.startButton()->isHidden());
    QVERIFY(window.cancelButton()->isHidden());
    // The run may have ended before the request reached it; either way it is over.
    QVERIFY(window.statusText() != "Cancelling…");
    QVERIFY(!progress.isHidden());  // the final snapshot stays on show
    QVERIFY(window.applyButton()->isEnabled());

    // Applying: a spinner, and neither apply nor start until the result is in.
    model.setApplyWork([](const fs::path&) { return ApplyOutcome{.message = "Applied."}; });
    window.applyButton()->click();
    QVERIFY(window.showsApplySpinner());
    QVERIFY(!window.applyButton()->isEnabled());
    QVERIFY(!window.startButton()->isEnabled());
    QCOMPARE(window.applyResultText(), QString());
    QVERIFY(queue->runWhile([&] { return model.isApplying(); }));
    QVERIFY(!window.showsApplySpinner());
    QCOMPARE(window.applyResultText(), "Applied.");
    QVERIFY(window.applyButton()->isEnabled());
    QVERIFY(window.startButton()->isEnabled());

    // Without a Serato folder there is nothing to apply to.
    model.setSeratoURL(std::nullopt);
    QCOMPARE(window.seratoRow()->title(), "Serato library");
    QCOMPARE(window.seratoRow()->subtitle(), "Where crates are written");
    QVERIFY(!window.applyButton()->isEnabled());
    QVERIFY(!window.startButton()->isEnabled());
}

void RestoreWindowTest::progressThreeOfEight() {
    RestoreProgress progress;
    progress.setProgress({.phase = "Restoring crates…", .totalFiles = 8, .completedFiles = 3,
                          .currentFile = "Genres/House/track 03.wav"},
                         true);
    QVERIFY(!progress.isHidden());
    QCOMPARE((QStringList{progress.title(), progress.percentText(), progress.countText(), progress.currentFileText()}),
             (QStringList{"Restoring crates…", "37%", "3 / 8", "Genres/House/track 03.wav"}));
    QCOMPARE(progress.barFraction(), 0.375);
    // Throughput and time left, worded as the backup's; no time left once the run has ended.
    ProgressSnapshot copying;
    copying.totalFiles = 8;
    copying.completedFiles = 3;
    copying.processedBytes = 3'000'000;
    copying.bytesToCopy = 8'000'000;
    copying.bytesPerSecond = 1'000'000;
    progress.setProgress(copying, true);
    QCOMPARE(progress.throughputText(), paneText::throughputText(copying));
    QVERIFY(progress.throughputText().endsWith("/s"));
    QCOMPARE(progress.timeLeftText(), *paneText::timeLeftText(copying));
    copying.finished = true;
    progress.setProgress(copying, false);
    QCOMPARE(progress.timeLeftText(), QString());
}

// A backup with two damaged files: each is listed with its path, Ctrl+C copies the selected
// line and Copy All every line; the next restore, of a sound backup, starts without them.
void RestoreWindowTest::problemsListedAndCopied() {
    const auto queue = std::make_shared<test::CountingQueue>();
    RestoreModel model(queue);
    RestoreWindow window(model);
    window.show();
    const fs::path backup = folder("damaged/backup/House").toStdString();
    BackupManifest manifest;
    for (const char* name : {"one.mp3", "two.mp3"}) {
        std::ofstream(backup / name) << "audio";
        manifest.entries[std::string("House/") + name] = {5, {}, {1, 2}};  // another content
    }
    fs::create_directories(BackupManifest::fileOf(backup.parent_path()).parent_path());
    std::ofstream(BackupManifest::fileOf(backup.parent_path())) << manifest.encode();
    model.setBackupURL(backup.parent_path());
    const fs::path audio = folder("damaged/audio").toStdString();
    model.setAudioTargetURL(audio);
    model.setSeratoURL(fs::path(folder("damaged/serato").toStdString()) / "_Serato_");
    ProblemList& problems = *window.problemList();
    QVERIFY(problems.isHidden());
    window.startButton()->click();
    QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));

    QVERIFY(!problems.isHidden());
    QCOMPARE(problems.title(), "Problems (2)");
    QCOMPARE(problems.list()->count(), 2);
    const QString second =
        "warning: Damaged in the backup: House/two.mp3 — its content differs "
        "from when it was backed up; left " +
        QString::fromStdString(platform::toUtf8(audio / "House" / "two.mp3")) + " as it was.";
    // The copies run side by side, so the lines come in either order.
    const int row = problems.list()->item(0)->text() == second ? 0 : 1;
    QCOMPARE(problems.list()->item(row)->text(), second);
    problems.list()->setFocus();
    problems.list()->setCurrentRow(row);
    QTest::keyClick(problems.list(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), second);
    problems.copyAllButton()->click();
    QCOMPARE(QApplication::clipboard()->text(), model.problemLines().join('\n'));
    QVERIFY(QApplication::clipboard()->text().contains(
        "warning: Damaged in the backup: House/one.mp3 — "));
    QVERIFY(QApplication::clipboard()->text().contains(second));

    fs::remove(BackupManifest::fileOf(backup.parent_path()));
    model.start();  // the Start button waits a moment after a run ends
    QVERIFY(problems.isHidden());
    QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
    QVERIFY(problems.isHidden());
}

void RestoreWindowTest::restoreDemoBackupThroughWindow() {
    MainWindow main(std::make_shared<QtMainQueue>(), test::demoLibrary());
    main.show();
    AppModel& app = main.model();
    QTRY_VERIFY_WITH_TIMEOUT(!app.selection().allLeaves().empty(), 60000);
    const QString backup = folder("demo backup");
    app.plan().setDestinationURL(fs::path(backup.toStdString()));
    app.start();
    QTRY_VERIFY_WITH_TIMEOUT(!app.run().isRunning(), 120000);
    QVERIFY(app.run().statusMessage().startsWith("Backup complete — "));

    main.restoreAction()->trigger();
    RestoreWindow& window = *main.restoreWindow();
    RestoreModel& model = main.restoreModel();
    QCOMPARE(window.backupRow()->subtitle(), backup);  // the backup just made
    const QString audio = folder("restored/Music");
    const QString serato = folder("restored/_Serato_");
    // A library of the DJ's own, which the restore changes and the undo gives back.
    std::ofstream(fs::path(serato.toStdString()) / "neworder.pref") << "[crate]Mine\n";
    fs::create_directories(fs::path(serato.toStdString()) / "Subcrates");
    std::ofstream(fs::path(serato.toStdString()) / "Subcrates" / "Mine.crate") << "my crate";
    const QMap<QString, QByteArray> before = tree(serato, audio);
    QStringList answers{backup, audio, serato};
    model.setFolderChooser([&](const FolderRequest&) { return fs::path(answers.takeFirst().toStdString()); });
    for (LocationRow* row : {window.backupRow(), window.audioRow(), window.seratoRow()}) row->chooseButton()->click();
    QCOMPARE(window.seratoRow()->title(), "_Serato_");

    window.startButton()->click();
    QVERIFY(!window.cancelButton()->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    QCOMPARE(window.statusText(), "Restore complete — just open Serato, your library is ready.");
    const ProgressSnapshot& done = model.run().progress();
    QCOMPARE(done.failedFiles, 0);
    QVERIFY(done.totalFiles > 0);
    QCOMPARE(window.progressSection()->percentText(), "100%");
    QCOMPARE(window.progressSection()->countText(), QStringLiteral("%1 / %1").arg(done.totalFiles));

    // Every demo track came back once, the crates and a database were written, and a second
    // restore into this library would now merge into that database.
    QSet<QString> tracks;
    for (QDirIterator it(audio, {"*.wav"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        tracks.insert(QFileInfo(it.next()).fileName());
    }
    QCOMPARE(tracks.size(), 60);
    QVERIFY(QDir(serato + "/Subcrates").entryList({"*.crate"}).size() > 1);
    QVERIFY(QFileInfo(serato + "/" + QString::fromUtf8(SeratoFolder::databaseFile.data())).size() > 0);
    QTRY_COMPARE(window.rebuildCaption(), restoreText::rebuildCaption(true, true));
    undoThroughWindow(main, serato, audio, before);

    // The apply step runs for real in the background and its answer shows under the button.
    window.applyButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!model.isApplying(), 60000);
    QVERIFY(!window.applyResultText().isEmpty());
    QVERIFY(!window.showsApplySpinner());
}

// After the restore: "Undo Last Restore" is offered and the Library menu lists the run. With
// Serato running the undo is refused and nothing changes; confirmed, it gives back the library
// and the audio folder exactly as they were, and the run is listed as undone.
void RestoreWindowTest::undoThroughWindow(MainWindow& main, const QString& serato,
                                          const QString& audio,
                                          const QMap<QString, QByteArray>& before) {
    RestoreWindow& window = *main.restoreWindow();
    RestoreModel& model = main.restoreModel();
    QTRY_VERIFY(!window.undoButton()->isHidden());
    QVERIFY(window.undoButton()->isEnabled());
    QCOMPARE(window.undoButton()->text(), "Undo Last Restore");
    const QMap<QString, QByteArray> restored = tree(serato, audio);
    QVERIFY(restored != before);

    main.model().library().load(fs::path(serato.toStdString()));
    QMenu& saved = *main.savedRestoresMenu();
    QCOMPARE(saved.actions().value(0)->text(), "No saved restores");
    QTRY_VERIFY(saved.actions().value(0)->text().contains(" — Restore — "));
    QCOMPARE(saved.actions().size(), 1);
    QVERIFY(saved.actions()[0]->isEnabled());

    const fs::path proc = fs::path(folder("proc/100").toStdString()).parent_path();
    fs::create_directories(proc / "self");
    std::ofstream(proc / "100" / "comm") << "Serato DJ Pro\n";
    std::ofstream(proc / "100" / "cmdline") << "Serato DJ Pro";
    model.undo().setProcessTable(proc);
    QString texts;
    answerNextMessageBox("OK", &texts);
    window.undoButton()->click();
    QVERIFY(!window.startButton()->isEnabled() && !window.applyButton()->isEnabled());
    QTRY_VERIFY(!model.undo().isUndoing());
    QVERIFY2(texts.contains(QString::fromStdString(SeratoError::seratoRunning().description())), qPrintable(texts));
    QVERIFY2(texts.count("\n[") == 1 && texts.contains("\n[OK"), qPrintable(texts));  // OK only
    QCOMPARE(tree(serato, audio), restored);

    model.undo().setProcessTable(proc / "none");
    answerNextMessageBox("Undo", &texts);
    window.undoButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!model.undo().isUndoing(), 60000);
    // What it puts back is named, and Cancel, not the undo, is the default.
    QVERIFY2(texts.contains(QRegularExpression(": put back [1-9][0-9]* file\\(s\\), remove [1-9]")), qPrintable(texts));
    QVERIFY2(texts.contains("[Undo]") && texts.contains("[Cancel*]"), qPrintable(texts));
    QVERIFY2(window.statusText().startsWith("Undid run "), qPrintable(window.statusText()));
    QCOMPARE(tree(serato, audio), before);
    QVERIFY(window.undoButton()->isHidden());
    QVERIFY(window.startButton()->isEnabled());
    QTRY_VERIFY(saved.actions()[0]->text().endsWith(" (undone)"));
    QVERIFY(!saved.actions()[0]->isEnabled());
}

QTEST_MAIN(RestoreWindowTest)
#include "restore_window_test.moc"
