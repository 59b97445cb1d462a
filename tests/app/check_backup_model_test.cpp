#include "app/check_backup_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "app_test_support.h"
#include "engine/backup_manifest.h"
#include "platform/path_text.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

class CheckBackupModelTest : public QObject {
    Q_OBJECT

  private slots:
    // A chosen backup with a damaged and a missing file: progress to the end, one row each,
    // the summary line; a folder without a manifest says so.
    void checkShowsFindingsAndSummary() {
        QTemporaryDir dir;
        const fs::path backup = fs::path(dir.path().toStdString()) / "Backup";
        fs::create_directories(backup / "House");
        std::ofstream(backup / "House/a.mp3") << "changed";
        BackupManifest manifest;
        manifest.entries["House/a.mp3"] = {7, {}, {1, 2}};
        manifest.entries["House/b.mp3"] = {5, {}, {3, 4}};
        fs::create_directories(BackupManifest::fileOf(backup).parent_path());
        std::ofstream(BackupManifest::fileOf(backup)) << manifest.encode();

        auto queue = std::make_shared<CountingQueue>();
        CheckBackupModel model(queue);
        model.setFolderChooser([&](const FolderRequest&) { return backup; });
        QSignalSpy running(&model.run(), &RunModel::isRunningChanged);
        model.chooseBackup();
        QCOMPARE(model.backupPath(), QString::fromStdString(platform::toUtf8(backup)));
        model.start();
        QVERIFY(model.run().isRunning());
        QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
        QCOMPARE(running.count(), 2);
        QCOMPARE(model.fraction(), 1.0);
        QCOMPARE(model.rows().size(), std::size_t{2});
        QCOMPARE(model.rows()[0].kind, QStringLiteral("damaged"));
        QCOMPARE(model.rows()[1].kind, QStringLiteral("missing"));
        QCOMPARE(model.rows()[1].path, QStringLiteral("House/b.mp3"));
        QCOMPARE(model.run().statusMessage(),
                 QStringLiteral("Checked 2 file(s), 7 bytes: 1 damaged, 1 missing. Delete the "
                                "damaged files from the backup, then back up again to repair."));

        // Only a missing file: the next backup copies it again.
        fs::remove(backup / "House/a.mp3");
        manifest.entries.erase("House/a.mp3");
        std::ofstream(BackupManifest::fileOf(backup)) << manifest.encode();
        model.start();
        QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
        QCOMPARE(model.run().statusMessage(),
                 QStringLiteral("Checked 1 file(s), 0 bytes: 1 missing. Back up again to repair."));

        fs::remove(BackupManifest::fileOf(backup));
        model.start();
        QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(model.rows().empty());
        QVERIFY(model.run().statusMessage().contains(QStringLiteral("has no manifest")));
    }

    // The folder the main window gives is taken until the user chooses or types one; a typed
    // path must be an existing folder ("~/" is the home folder), and a wrong one says why.
    void givenAndTypedFolders() {
        QTemporaryDir dir;
        const fs::path root(dir.path().toStdString());
        fs::create_directories(root / "One");
        fs::create_directories(root / "Two");
        CheckBackupModel model(std::make_shared<CountingQueue>());
        QSignalSpy changed(&model, &CheckBackupModel::backupPathChanged);
        model.setBackupFolder(std::nullopt);
        model.setBackupFolder(root / "One");
        model.setBackupFolder(root / "One");
        QCOMPARE(model.backupPath(), QString::fromStdString(platform::toUtf8(root / "One")));
        QCOMPARE(changed.count(), 1);
        model.setBackupFolder(root / "Two");
        QCOMPARE(model.backupPath(), QString::fromStdString(platform::toUtf8(root / "Two")));

        model.enterBackupPath(QString::fromStdString(platform::toUtf8(root / "None")));
        QCOMPARE(model.pathProblem(),
                 QStringLiteral("There is no folder at %1.")
                     .arg(QString::fromStdString(platform::toUtf8(root / "None"))));
        model.enterBackupPath(QStringLiteral("Backups/Two"));
        QCOMPARE(model.pathProblem(), QStringLiteral("Type the whole path, starting with / or ~/."));
        QCOMPARE(model.backupPath(), QString::fromStdString(platform::toUtf8(root / "Two")));
        model.enterBackupPath(QStringLiteral("  ") +
                              QString::fromStdString(platform::toUtf8(root / "One")));
        QVERIFY(model.pathProblem().isEmpty());
        QCOMPARE(model.backupPath(), QString::fromStdString(platform::toUtf8(root / "One")));
        model.setBackupFolder(root / "Two");  // the user's choice stays
        QCOMPARE(model.backupPath(), QString::fromStdString(platform::toUtf8(root / "One")));
        model.enterBackupPath(QStringLiteral("~/"));
        QCOMPARE(fs::path(model.backupPath().toStdString()),
                 fs::path(QDir::homePath().toStdString() + "/"));
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::CheckBackupModelTest)
#include "check_backup_model_test.moc"
