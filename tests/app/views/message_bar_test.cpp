// The message bar of the main window: the problems a user must act on are shown in the window
// itself, say what to do, offer the action that fixes them, and go when fixed or dismissed.
#include "app/views/message_bar.h"

#include <QAccessible>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/app_model.h"
#include "app/qt_main_queue.h"
#include "app/restore_model.h"
#include "app/views/action_bar.h"
#include "app/views/detail_view.h"
#include "app/views/main_window.h"
#include "app/views/restore_window.h"
#include "app/views/sidebar_view.h"
#include "app/views/style.h"
#include "platform/path_text.h"

using namespace morrowdeck;
namespace fs = std::filesystem;

class MessageBarTest final : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        demo_ = fs::path(temp_.filePath("demo").toStdString());
        QCOMPARE(QProcess::execute(MORROWDECK_DEMO_LIBRARY,
                                   {QString::fromStdString(platform::toUtf8(demo_))}),
                 0);
    }

    // Each level has its look and the bar reads as one sentence to a screen reader; no
    // action, no button.
    void levelsAndAccessibleName() {
        MessageBar bar;
        bar.show();
        bar.showMessage(Notice::Level::warning, "A <b>backup</b> is running.", "Wait.");
        QVERIFY(bar.isVisible());
        QCOMPARE(bar.messageText(), "A <b>backup</b> is running. Wait.");  // not read as markup
        QCOMPARE(bar.accessibleName(), bar.messageText());
        QVERIFY(bar.actionButton()->isHidden());
        QVERIFY(bar.styleSheet().contains(Style::orange().name()));
        bar.showNotice(Notice{Notice::Level::error, Notice::Subject::destination,
                              "The drive is read-only.", "Choose another.",
                              Notice::Action::chooseDestination});
        QCOMPARE(bar.actionButton()->text(), "Choose Destination…");
        QVERIFY(!bar.actionButton()->isHidden());
        QVERIFY(bar.styleSheet().contains(Style::red().name()));
        bar.showNotice(std::optional<Notice>());
        QVERIFY(bar.isHidden());
    }

    // A folder without _Serato_: the bar says so and offers "Choose Library…", which asks for
    // another folder; the library that then loads takes the bar away.
    void folderWithoutSeratoThenChooseLibrary() {
        MainWindow window(std::make_shared<QtMainQueue>(), std::nullopt);
        window.show();
        AppModel& model = window.model();
        MessageBar& bar = *window.messageBar();
        QVERIFY(bar.isHidden());
        model.library().open(fs::path(temp_.path().toStdString()) / "no library here");
        QVERIFY(bar.isVisible());
        QVERIFY(bar.messageText().startsWith("No _Serato_ folder in "));
        QVERIFY(bar.messageText().endsWith("Choose the folder that contains _Serato_."));
        QCOMPARE(bar.actionButton()->text(), "Choose Library…");
        // Above the window's content, across its whole width.
        QVERIFY(bar.geometry().bottom() < window.detail()->mapTo(&window, QPoint(0, 0)).y());

        int asked = 0;
        model.setFolderChooser([&](const FolderRequest&) {
            ++asked;
            return std::optional(demo_);
        });
        bar.actionButton()->click();
        QCOMPARE(asked, 1);
        QTRY_COMPARE(window.sidebar()->page(), "tree");
        QVERIFY(bar.isHidden());
        QVERIFY(!model.notice());
    }

    // The close button hides the bar and forgets the problem; a file manager that cannot be
    // opened is one such problem.
    void dismissedRevealFailure() {
        MainWindow window(std::make_shared<QtMainQueue>(), demo_);
        window.show();
        AppModel& model = window.model();
        QTRY_COMPARE(window.sidebar()->page(), "tree");
        model.reveal().setRevealer([](const fs::path&, std::function<void()> failed) { failed(); });
        model.reveal().revealLibrary();
        MessageBar& bar = *window.messageBar();
        QVERIFY(bar.isVisible());
        QVERIFY(bar.messageText().startsWith("Couldn't open a file manager to show "));
        bar.closeButton()->click();
        QVERIFY(bar.isHidden());
        QVERIFY(!model.notice());
    }

    // While a backup runs, Ctrl+O asks for no folder and changes nothing: the bar says to wait
    // or cancel. It goes when the backup ends.
    void libraryLockedDuringBackup() {
        MainWindow window(std::make_shared<QtMainQueue>(), demo_);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        AppModel& model = window.model();
        QTRY_COMPARE(window.sidebar()->page(), "tree");
        int asked = 0;
        model.setFolderChooser([&](const FolderRequest&) {
            ++asked;
            return std::optional<fs::path>();
        });
        model.plan().setDestinationURL(fs::path(temp_.filePath("backup").toStdString()));
        window.detail()->actionBar()->startButton()->click();
        QVERIFY(model.run().isRunning());
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 0);
        MessageBar& bar = *window.messageBar();
        QVERIFY(bar.isVisible());
        QVERIFY(bar.messageText().contains(
            "Wait for the backup to finish, or cancel it, before opening another library."));
        QCOMPARE(model.library().libraryURL(), demo_ / "_Serato_");
        QVERIFY(!model.library().isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
        QVERIFY(bar.isHidden());
    }

    // The restore window has the bar too: a restore that fails to start says why there.
    void restoreStartFailure() {
        RestoreModel model(std::make_shared<QtMainQueue>());
        RestoreWindow window(model);
        window.show();
        const fs::path root(temp_.path().toStdString());
        fs::create_directories(root / "not a backup");
        model.setBackupURL(root / "not a backup");
        model.setAudioTargetURL(root / "restored" / "Music");
        model.setSeratoURL(root / "restored" / "_Serato_");
        window.startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 60000);
        const MessageBar& bar = *window.messageBar();
        QVERIFY(bar.isVisible());
        QVERIFY(bar.messageText().startsWith("No backup found at "));
        QCOMPARE(bar.level(), Notice::Level::error);
    }

  private:
    QTemporaryDir temp_;
    fs::path demo_;
};

QTEST_MAIN(MessageBarTest)
#include "message_bar_test.moc"
