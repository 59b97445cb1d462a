#include "app/views/check_backup_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "app/check_backup_model.h"
#include "app/qt_main_queue.h"
#include "app/views/main_window.h"
#include "app_test_support.h"
#include "engine/backup_manifest.h"
#include "platform/path_text.h"

using namespace morrowdeck;
namespace fs = std::filesystem;

class CheckBackupWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    // The path field takes a typed folder on Return or on leaving it; a path that is no
    // folder is named under the field and left there to correct, and Return never checks.
    void typedPath() {
        QTemporaryDir dir;
        const QString backup = dir.filePath("Backup");
        QDir().mkpath(backup);
        CheckBackupModel model(std::make_shared<test::CountingQueue>());
        CheckBackupWindow window(model);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QLineEdit& field = *window.folderField();
        QVERIFY(!field.isReadOnly());
        QCOMPARE(window.pathProblemText(), QString());

        field.setFocus();
        field.setText(dir.filePath("Nope"));
        QTest::keyClick(&field, Qt::Key_Return);
        QCOMPARE(window.pathProblemText(), "There is no folder at " + dir.filePath("Nope") + ".");
        QCOMPARE(field.text(), dir.filePath("Nope"));
        QCOMPARE(model.backupPath(), QString());
        QVERIFY(!model.run().isRunning());

        field.setText(backup);
        QTest::keyClick(&field, Qt::Key_Return);
        QCOMPARE(model.backupPath(), backup);
        QCOMPARE(window.pathProblemText(), QString());
        QVERIFY(!model.run().isRunning());

        model.setBackupURL(std::nullopt);
        field.setFocus();
        QTest::keyClicks(&field, backup);
        window.results()->setFocus();  // leaving the field takes the path too
        QCOMPARE(model.backupPath(), backup);
    }

    // Opened from the main window, the check starts at the destination; its findings end with
    // what to do.
    void startsAtTheDestinationAndAdvises() {
        QTemporaryDir dir;
        const fs::path backup = fs::path(dir.path().toStdString()) / "Backup";
        fs::create_directories(backup / "House");
        BackupManifest manifest;
        manifest.entries["House/gone.mp3"] = {5, {}, {3, 4}};
        fs::create_directories(BackupManifest::fileOf(backup).parent_path());
        std::ofstream(BackupManifest::fileOf(backup)) << manifest.encode();

        MainWindow main(std::make_shared<QtMainQueue>());
        main.model().plan().setDestinationURL(backup);
        main.openCheckBackupWindow();
        auto* window = main.findChild<CheckBackupWindow*>();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->folderField()->text(), QString::fromStdString(platform::toUtf8(backup)));
        QPushButton* check = nullptr;
        for (auto* button : window->findChildren<QPushButton*>())
            if (button->text() == "Check") check = button;
        QVERIFY(check);
        check->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->results()->topLevelItemCount() == 1, 30000);
        QTRY_VERIFY(window->summaryText().endsWith(" 1 missing. Back up again to repair."));
    }
};

QTEST_MAIN(CheckBackupWindowTest)
#include "check_backup_window_test.moc"
