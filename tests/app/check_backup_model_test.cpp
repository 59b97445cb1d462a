#include "app/check_backup_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "app_test_support.h"
#include "engine/backup_manifest.h"

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
        QCOMPARE(model.backupPath(), QString::fromStdString(backup.native()));
        model.start();
        QVERIFY(model.run().isRunning());
        QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
        QCOMPARE(running.count(), 2);
        QCOMPARE(model.fraction(), 1.0);
        QCOMPARE(model.rows().size(), std::size_t{2});
        QCOMPARE(model.rows()[0].kind, QStringLiteral("damaged"));
        QCOMPARE(model.rows()[1].kind, QStringLiteral("missing"));
        QCOMPARE(model.rows()[1].path, QStringLiteral("House/b.mp3"));
        QCOMPARE(model.run().statusMessage(), QStringLiteral("Checked 2 file(s), 7 bytes: 1 damaged, 1 missing."));

        fs::remove(BackupManifest::fileOf(backup));
        model.start();
        QVERIFY(queue->runWhile([&] { return model.run().isRunning(); }));
        QVERIFY(model.rows().empty());
        QVERIFY(model.run().statusMessage().contains(QStringLiteral("has no manifest")));
    }

};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::CheckBackupModelTest)
#include "check_backup_model_test.moc"
