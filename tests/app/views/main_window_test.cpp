#include "app/views/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <memory>

#include "app/app_model.h"
#include "app/app_settings.h"
#include "app/qt_main_queue.h"
#include "app/views/action_bar.h"
#include "app/views/activity_panel.h"
#include "app/views/check_backup_window.h"
#include "app/views/crate_row_delegate.h"
#include "app/views/destination_section.h"
#include "app/views/detail_view.h"
#include "app/views/empty_state.h"
#include "app/views/first_launch.h"
#include "app/views/options_section.h"
#include "app/views/preflight_summary.h"
#include "app/views/progress_section.h"
#include "app/views/restore_window.h"
#include "app/views/saved_geometry.h"
#include "app/views/sidebar_view.h"
#include "app/window_sizing.h"
#include "app_test_support.h"
#include "platform/path_text.h"

using namespace morrowdeck;
namespace fs = std::filesystem;

class MainWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void withoutLibrary();
    void loadedLibrary();
    void rowClicksToggleOnce();
    void drops_data();
    void drops();
    void backupThroughWindow();
    void cancelledBackup();
    void returnStartsOnlyFromStartOrDestination_data();
    void returnStartsOnlyFromStartOrDestination();
    void startIgnoresAClickJustAfterARunEnds();
    void keyboardShortcuts();
    void tabFollowsThePage();
    void keyWidgetsFitEachSize();
    void firstLaunchSizesOnce();
    void foundLibrariesInTheMenu();
    void remembersChoicesAcrossLaunches();
    void savedGeometryFitsTheScreen();

  private:
    std::unique_ptr<MainWindow> open(std::optional<fs::path> library);
    QString folder(const QString& name);

    QTemporaryDir temp_;
    fs::path demo_;
};

void MainWindowTest::initTestCase() {
    QVERIFY(temp_.isValid());
    demo_ = fs::path(temp_.filePath("demo").toStdString());
    QCOMPARE(QProcess::execute(MORROWDECK_DEMO_LIBRARY,
                               {QString::fromStdString(platform::toUtf8(demo_))}),
             0);
}

// Each test starts as on a first launch, without what an earlier one chose.
void MainWindowTest::init() {
    test::isolateSettings();
}

QString MainWindowTest::folder(const QString& name) {
    const QString path = temp_.filePath(name);
    QDir().mkpath(path);
    return path;
}

std::unique_ptr<MainWindow> MainWindowTest::open(std::optional<fs::path> library) {
    auto window = std::make_unique<MainWindow>(std::make_shared<QtMainQueue>(), std::move(library));
    window->resize(1200, 800);  // its size on a common screen; the offscreen one is smaller
    window->show();
    return window;
}

void MainWindowTest::withoutLibrary() {
    const auto window = open(std::nullopt);
    QCOMPARE(window->windowTitle(), "Morrowdeck — Serato Backup");
        QCOMPARE(window->sidebar()->page(), "empty");
    QVERIFY(window->detail()->showsEmptyState());
    QCOMPARE(window->detail()->emptyState()->title(), "No Serato Library");
    QCOMPARE(window->libraryButton()->toolTip(), "No library loaded");
    QVERIFY(!window->reloadAction()->isEnabled());
    QVERIFY(!window->showLibraryAction()->isVisible());
    QVERIFY(window->restoreAction()->isEnabled());
    QCOMPARE(window->detail()->activity()->statusText(), "Locate your Serato library to begin.");
    QVERIFY(window->detail()->activity()->showsEmptyState());
}

void MainWindowTest::loadedLibrary() {
    const auto window = open(demo_);
    SidebarView& sidebar = *window->sidebar();
    QCOMPARE(sidebar.page(), "loading");
    QTRY_COMPARE(sidebar.page(), "tree");
    AppModel& model = window->model();
    const qsizetype leaves = qsizetype(model.selection().allLeaves().size());
    QVERIFY(leaves > 1);

    QCOMPARE(window->windowTitle(), "Morrowdeck — demo");
    QCOMPARE(window->libraryButton()->toolTip(),
             QString::fromStdString(platform::toUtf8(demo_ / "_Serato_")));
    QVERIFY(window->reloadAction()->isEnabled());
    QVERIFY(window->showLibraryAction()->isVisible());
    QVERIFY(!window->detail()->showsEmptyState());
    QVERIFY(!window->detail()->progress()->isVisible());
    QVERIFY(window->detail()->activity()->showsEmptyState());
    QVERIFY(window->detail()->activity()->statusText().startsWith(QStringLiteral("Loaded %1 crate(s), ").arg(leaves)));
    const auto& destination = *window->detail()->destination();
    QCOMPARE(destination.nameText(), "No destination selected");
    QCOMPARE(destination.pathText(), "Drop a folder here, or choose one");
    QCOMPARE(destination.freeText(), QString());
    const ActionBar& bar = *window->detail()->actionBar();
    QCOMPARE(bar.cratesText(), QStringLiteral("%1 crate(s) selected").arg(leaves));
    QVERIFY(!bar.startButton()->isEnabled());
    QCOMPARE(window->findChild<OptionsSection*>()->explanations().at(2),
             "On: existing files are re-copied only if size or date differs — fast re-runs.");

    model.plan().setDestinationURL(fs::path(folder("loaded-destination").toStdString()));
    QVERIFY(bar.startButton()->isEnabled());
    QTRY_VERIFY(!destination.freeText().isEmpty());  // measured in the background

    // Spaces only: the results section shows, empty; Return there does not start a backup.
    sidebar.searchField()->setFocus();
    QTest::keyClicks(sidebar.searchField(), "   ");
    QCOMPARE(sidebar.page(), "results");
    QCOMPARE(sidebar.resultsTitle(), "Results (0)");
    QTest::keyClick(sidebar.searchField(), Qt::Key_Return);
    QVERIFY(!model.run().isRunning());
    // Escape clears the search and brings the tree back.
    QTest::keyClick(sidebar.searchField(), Qt::Key_Escape);
    QCOMPARE(sidebar.searchField()->text(), QString());
    QCOMPARE(sidebar.page(), "tree");
    // The sidebar can be dragged wider than its first width, for long crate names.
    auto* split = window->centralWidget()->findChild<QSplitter*>();
    QVERIFY(split);
    split->setSizes({560, 640});
    QVERIFY(sidebar.width() > 500);

    model.selection().selectNone();
    QCOMPARE(bar.cratesText(), "0 crate(s) selected");
    QTRY_COMPARE(bar.tracksText(), "0 tracks");  // once the plan of no crates is in
    QVERIFY(!bar.startButton()->isEnabled());
}

void MainWindowTest::rowClicksToggleOnce() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    QTreeView& tree = *window->sidebar()->tree();
    tree.expandAll();
    const std::size_t all = model.selection().allLeaves().size();
    QAbstractItemModel& crates = *tree.model();
    const auto click = [&](const QModelIndex& index, bool onBox) {
        const QRect row = tree.visualRect(index);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                          onBox ? CrateRowDelegate::checkBoxRect(row).center() : row.center());
    };
    // The first top-level row without children, and the first with them.
    QModelIndex leaf, group;
    for (int row = 0; row < crates.rowCount(); ++row) {
        const QModelIndex index = crates.index(row, 0);
        QModelIndex& kind = crates.hasChildren(index) ? group : leaf;
        if (!kind.isValid()) kind = index;
    }
    QVERIFY(leaf.isValid() && group.isValid());

    click(leaf, false);
    QCOMPARE(model.selection().selectedCrates().size(), all - 1);
    click(leaf, true);
    QCOMPARE(model.selection().selectedCrates().size(), all);
    click(group, false);  // the row of a group only selects it
    QCOMPARE(model.selection().selectedCrates().size(), all);
    click(group, true);
    QCOMPARE(group.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    click(crates.index(0, 0, group), true);
    QCOMPARE(group.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::PartiallyChecked);
    click(group, true);
    QCOMPARE(group.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    QCOMPARE(model.selection().selectedCrates().size(), all);
}

void MainWindowTest::drops_data() {
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("destination");
    QTest::newRow("a file") << QStringList{"file.txt"} << QString();
    QTest::newRow("a folder") << QStringList{"dropped"} << "dropped";
    QTest::newRow("a file and a folder") << QStringList{"file.txt", "dropped"} << "dropped";
}

void MainWindowTest::drops() {
    QFETCH(QStringList, dropped);
    QFETCH(QString, destination);
    folder("dropped");
    QFile(temp_.filePath("file.txt")).open(QIODevice::WriteOnly);
    const auto window = open(std::nullopt);
    DestinationSection& section = *window->detail()->destination();
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& name : dropped) urls << QUrl::fromLocalFile(temp_.filePath(name));
    mime.setUrls(urls);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the widget: outside a real drag, QApplication routes drops to no one.
    static_cast<QObject&>(section).event(&drop);

    QCOMPARE(drop.isAccepted(), !destination.isEmpty());
    if (destination.isEmpty()) {
        QVERIFY(!window->model().plan().destinationURL());
        QCOMPARE(window->detail()->activity()->statusText(), "Drop a folder, not a file, as the destination.");
    } else {
        QCOMPARE(section.pathText(), temp_.filePath(destination));
        QCOMPARE(section.nameText(), destination);
    }
}

void MainWindowTest::backupThroughWindow() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    const QString destination = folder("backup");
    model.setFolderChooser([&](const FolderRequest&) { return fs::path(destination.toStdString()); });
    std::optional<fs::path> revealed;
    model.reveal().setRevealer([&](const fs::path& path, auto) { revealed = path; });
    DetailView& detail = *window->detail();
    detail.destination()->chooseButton()->click();
    QCOMPARE(detail.destination()->pathText(), destination);

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    detail.actionBar()->startButton()->setFocus();
    QTest::keyClick(detail.actionBar()->startButton(), Qt::Key_Return);
    QVERIFY(model.run().isRunning());
    QVERIFY(detail.actionBar()->startButton()->isHidden());
    QVERIFY(!detail.actionBar()->cancelButton()->isHidden());
    QVERIFY(!detail.options()->isEnabled());
    QVERIFY(detail.destination()->isEnabled());
    QVERIFY(!window->libraryButton()->isEnabled());
    QCOMPARE(window->libraryButton()->toolTip(), "Library is locked during a backup");
    QVERIFY(!detail.progress()->isHidden());

    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    // The status line says what the run's last log line says.
    QVERIFY(detail.activity()->statusText().startsWith("Backup complete — "));
    QCOMPARE(detail.activity()->statusText(), QString::fromStdString(model.run().log().back().message));
    QVERIFY(!detail.activity()->showsEmptyState());
    const ProgressSection& progress = *detail.progress();
    QVERIFY(!progress.isHidden());
    QCOMPARE(progress.percentText(), "100%");
    const qint64 total = model.run().progress().totalFiles;
    QCOMPARE(progress.filesText(), QStringLiteral("%1 / %1 files").arg(total));
    QCOMPARE(progress.chipTexts().size(), 3);
    QVERIFY(progress.chipTexts().at(0).startsWith("Copied "));
    QVERIFY(!progress.showInFileManager()->isHidden());
    QVERIFY(window->libraryButton()->isEnabled());

    // Every demo track is in the destination, in the folders of its crates.
    QSet<QString> tracks;
    for (QDirIterator it(destination, {"*.wav"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        tracks.insert(QFileInfo(it.next()).fileName());
    }
    QCOMPARE(tracks.size(), 60);
    QVERIFY(!QDir(destination + "/Genres/House").entryList({"*.wav"}).isEmpty());
    QVERIFY(QFileInfo(destination + "/.morrowdeck/catalog.json").isFile());

    // "Show in File Manager" shows where this run wrote, also after choosing another folder.
    model.plan().setDestinationURL(fs::path(folder("elsewhere").toStdString()));
    progress.showInFileManager()->click();
    QCOMPARE(revealed, fs::path(destination.toStdString()));
}

void MainWindowTest::cancelledBackup() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    model.plan().setDestinationURL(fs::path(folder("cancelled").toStdString()));
    const ActionBar& bar = *window->detail()->actionBar();
    bar.startButton()->click();
    bar.cancelButton()->click();
    QCOMPARE(window->detail()->activity()->statusText(), "Cancelling…");
    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    QCOMPARE(window->detail()->activity()->statusText(), "Backup cancelled.");
    QVERIFY(window->detail()->progress()->showInFileManager()->isHidden());
    QVERIFY(!bar.startButton()->isHidden());
}

// Return starts a backup on the Start button and in the destination row; wherever else it is
// pressed, the widget that has focus takes it (a drop-down's choice, a spin box, the tree, the
// search field) and no backup starts.
void MainWindowTest::returnStartsOnlyFromStartOrDestination_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("starts");
    QTest::newRow("start button") << "start" << true;
    QTest::newRow("destination row") << "destination" << true;
    QTest::newRow("crate tree") << "tree" << false;
    QTest::newRow("search field") << "search" << false;
    QTest::newRow("parallel copies") << "spin" << false;
    QTest::newRow("drop-down choice") << "popup" << false;
}

void MainWindowTest::returnStartsOnlyFromStartOrDestination() {
    QFETCH(QString, where);
    QFETCH(bool, starts);
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    model.plan().setDestinationURL(fs::path(folder("return-" + where).toStdString()));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    DetailView& detail = *window->detail();
    auto* options = window->findChild<OptionsSection*>();
    QWidget* target = nullptr;
    if (where == "start") target = detail.actionBar()->startButton();
    else if (where == "destination") target = detail.destination()->chooseButton();
    else if (where == "tree") target = window->sidebar()->tree();
    else if (where == "search") target = window->sidebar()->searchField();
    else if (where == "spin") target = options->parallelCopies();
    if (where == "popup") {
        QComboBox* box = options->sharedTracks();
        box->setFocus();
        box->showPopup();
        QTRY_VERIFY(box->view()->isVisible());
        QTest::keyClick(box->view(), Qt::Key_Down);
        QTest::keyClick(box->view(), Qt::Key_Return);
        QTRY_VERIFY(!box->view()->isVisible());
    } else {
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, Qt::Key_Return);
    }
    QCOMPARE(model.run().isRunning(), starts);
    if (starts) {
        model.run().cancel();
        QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    }
}

// When a run ends, Start takes Cancel's place: a click meant for Cancel that lands just after
// the end is ignored; a second later Start works again.
void MainWindowTest::startIgnoresAClickJustAfterARunEnds() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    model.plan().setDestinationURL(fs::path(folder("settle").toStdString()));
    QPushButton* start = window->detail()->actionBar()->startButton();
    start->click();
    QVERIFY(model.run().isRunning());
    model.run().cancel();
    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(!model.run().isRunning());
    QTest::qWait(1100);
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(model.run().isRunning());
    model.run().cancel();
    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
}

// The window's keys: Ctrl+O chooses a library, F5 reloads, F1 opens the help, Escape and
// Ctrl+W close a secondary window, Ctrl+Q quits.
void MainWindowTest::keyboardShortcuts() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    int chooserCalls = 0;
    model.setFolderChooser([&](const FolderRequest&) {
        ++chooserCalls;
        return std::optional<fs::path>();
    });
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(chooserCalls, 1);

    QSignalSpy reloaded(&model.selection(), &SelectionModel::forestChanged);
    QTest::keyClick(window.get(), Qt::Key_F5);
    QTRY_VERIFY(reloaded.count() >= 1);
    QTRY_COMPARE(window->sidebar()->page(), "tree");

    QString helpTitle;
    QTimer::singleShot(0, [&] {
        QWidget* help = QApplication::activeModalWidget();
        if (help) helpTitle = help->windowTitle(), help->close();
    });
    QTest::keyClick(window.get(), Qt::Key_F1);
    QCOMPARE(helpTitle, "Morrowdeck Help");

    // F9 hides and shows the activity log; Ctrl+Shift+R opens the restore window. Their
    // tooltips name them.
    QCOMPARE(window->activityAction()->toolTip(), "Show or hide the activity log (F9)");
    QCOMPARE(window->restoreAction()->toolTip(),
             "Restore a Serato library from a Morrowdeck backup (Ctrl+Shift+R)");
    window->activateWindow();  // back from the help
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F9);
    QVERIFY(window->detail()->activity()->isHidden());
    QTest::keyClick(window.get(), Qt::Key_F9);
    QVERIFY(!window->detail()->activity()->isHidden());
    QVERIFY(!window->restoreWindow());
    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    QDialog* restore = window->restoreWindow();
    QVERIFY(restore);
    QVERIFY(QTest::qWaitForWindowExposed(restore));

    // Escape and Ctrl+W close the restore and Check Backup windows.
    window->openCheckBackupWindow();
    auto* check = window->findChild<CheckBackupWindow*>();
    for (QDialog* secondary : {restore, static_cast<QDialog*>(check)}) {
        for (const QKeyCombination key : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
            secondary->show();
            QVERIFY(QTest::qWaitForWindowExposed(secondary));
            QTest::keyClick(secondary, key.key(), key.keyboardModifiers());
            QTRY_VERIFY(!secondary->isVisible());
        }
    }

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!window->isVisible());
}

// Tab walks the page from top left to bottom right: the search, the crates and their
// selection buttons, the destination, each option, Start; then round through the toolbar.
// Shift+Tab walks back.
void MainWindowTest::tabFollowsThePage() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    window->model().plan().setDestinationURL(fs::path(folder("tab").toStdString()));
    // Its "Crates" is a stop too, once the plan is worked out.
    QTRY_VERIFY(window->detail()->preflight()->isVisible() && window->detail()->preflight()->isEnabled());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const auto sidebarButton = [&](const QString& text) -> QWidget* {
        for (auto* button : window->sidebar()->findChildren<QPushButton*>())
            if (button->text() == text) return button;
        return nullptr;
    };
    const OptionsSection& options = *window->detail()->options();
    const auto toolButton = [&](QAction* action) {
        return window->findChild<QToolBar*>()->widgetForAction(action);
    };
    QList<QWidget*> page{window->sidebar()->searchField(), window->sidebar()->tree(),
                               sidebarButton("All"), sidebarButton("None"),
                               window->detail()->destination()->chooseButton(),
                               window->detail()->preflight()->crateToggle(), options.sharedTracks(),
                               options.smartCrates(), options.verifyExisting(), options.parallelCopies(),
                               window->detail()->activity()->findChild<QListView*>(),
                               window->detail()->actionBar()->startButton(), window->libraryButton(),
                               toolButton(window->restoreAction()), toolButton(window->activityAction())};
    page.removeIf([](QWidget* stop) { return stop && !stop->isVisible(); });  // the log, when empty
    // A spin box takes focus in its text field.
    const auto focused = [] {
        QWidget* widget = QApplication::focusWidget();
        if (widget && qobject_cast<QSpinBox*>(widget->parentWidget())) return widget->parentWidget();
        return widget;
    };
    page.front()->setFocus();
    QCOMPARE(focused(), page.front());
    for (qsizetype i = 1; i < page.size(); ++i) {
        QTest::keyClick(focused(), Qt::Key_Tab);
        QVERIFY2(page[i] && focused() == page[i], qPrintable(QStringLiteral("stop %1: %2 %3").arg(i).arg(focused() ? focused()->metaObject()->className() : "none").arg(focused() ? focused()->objectName() : "")));
    }
    for (qsizetype i = page.size() - 2; i >= 0; --i) {
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY2(focused() == page[i], qPrintable(QStringLiteral("back to stop %1").arg(i)));
    }
}

// After a backup the progress, its count badges and "Show in File Manager" are in view at the
// default size without scrolling; at the smallest size everything the user needs is in the
// window or reachable in the scrolling part; a 1366 × 768 screen at 150 % (911 × 512) holds the
// whole window with Start in view.
void MainWindowTest::keyWidgetsFitEachSize() {
    const auto window = open(demo_);
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    AppModel& model = window->model();
    model.plan().setDestinationURL(fs::path(folder("sizes").toStdString()));
    DetailView& detail = *window->detail();
    detail.actionBar()->startButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    QTRY_VERIFY(!detail.progress()->showInFileManager()->isHidden());

    const QSize smallScreen(911, 512);
    QVERIFY(window->minimumSize().width() <= smallScreen.width());
    QVERIFY(window->minimumSize().height() <= smallScreen.height() - 40);  // room for a title bar
    QVERIFY(window->minimumSizeHint().width() <= window->minimumSize().width());
    QVERIFY(window->minimumSizeHint().height() <= window->minimumSize().height());

    auto* scroll = detail.findChild<QScrollArea*>();
    const ProgressSection& progress = *detail.progress();
    // Where widget lies in the window, and whether it is drawn at its full size.
    const auto inWindow = [&](QWidget* widget) {
        const QRect rect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
        return widget->isVisible() && window->rect().contains(rect) &&
               widget->height() >= widget->minimumSizeHint().height();
    };
    const auto inView = [&](QWidget* widget) {
        const QRect rect(widget->mapTo(scroll->viewport(), QPoint(0, 0)), widget->size());
        return inWindow(widget) && scroll->viewport()->rect().contains(rect);
    };
    const auto reachable = [&](QWidget* widget) {
        const QRect rect(widget->mapTo(scroll->widget(), QPoint(0, 0)), widget->size());
        return widget->isVisible() && scroll->widget()->rect().contains(rect) &&
               widget->height() >= widget->minimumSizeHint().height();
    };
    const QList<QWidget*> pinned{window->sidebar()->searchField(), window->sidebar()->tree(),
                                 detail.actionBar()->startButton(), window->libraryButton()};
    const OptionsSection& options = *detail.options();
    const QList<QWidget*> scrolled{detail.destination()->chooseButton(), progress.showInFileManager(),
                                   options.sharedTracks(), options.parallelCopies()};

    for (const QSize size : {QSize(1200, 800), window->minimumSize(), smallScreen}) {
        window->resize(size);
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
        QCOMPARE(window->size(), size);
        for (QWidget* widget : pinned) QTRY_VERIFY2(inWindow(widget), qPrintable(widget->metaObject()->className()));
        // Layouts settle over a few turns of the event loop.
        for (QWidget* widget : scrolled) QTRY_VERIFY2(reachable(widget), qPrintable(widget->metaObject()->className()));
        QVERIFY(scroll->viewport()->height() >= 120);
        // A short window keeps most of the column for the sections, not the log.
        QVERIFY(scroll->height() > detail.activity()->height());
        if (size == QSize(1200, 800)) {
            QCOMPARE(scroll->verticalScrollBar()->value(), 0);
            QVERIFY(inView(detail.destination()->chooseButton()));
            QVERIFY(inView(detail.progress()));
            QVERIFY(inView(progress.showInFileManager()));
            for (QWidget* chip : progress.findChildren<QWidget*>())
                if (chip->isVisible()) QVERIFY(inView(chip));
        }
    }
}

void MainWindowTest::firstLaunchSizesOnce() {
    QSettings settings("Morrowdeck", "Morrowdeck");
    settings.remove(didSetInitialWindowSizeKey);
    QVERIFY(FirstLaunch::claim(settings));
    QVERIFY(settings.value(didSetInitialWindowSizeKey).toBool());
    QVERIFY(!FirstLaunch::claim(settings));

    QWidget window;
    window.show();
    FirstLaunch::size(window);
    QCOMPARE(window.size(), initialContentSize(window.screen()->availableGeometry().size()));
}

// A second launch opens the last library with its destination and unticked crate; the
// destination says when the library was last backed up there, and "not connected" once the
// folder is gone, which it still remembers.
void MainWindowTest::remembersChoicesAcrossLaunches() {
    const QString backup = folder("remembered");
    const auto destinationOf = [](const MainWindow& window) -> const DestinationSection& {
        return *window.detail()->destination();
    };
    std::string unticked;
    {
        const auto window = open(demo_);
        AppModel& model = window->model();
        QTRY_COMPARE(window->sidebar()->page(), "tree");
        const Crate& leaf = *model.selection().allLeaves().front();
        unticked = leaf.name;
        model.selection().toggle(leaf);
        QCOMPARE(destinationOf(*window).lastBackupText(), QString());
        model.plan().setDestinationURL(fs::path(backup.toStdString()));
        QCOMPARE(destinationOf(*window).lastBackupText(), "Never backed up");
        QTRY_VERIFY(window->detail()->actionBar()->startButton()->isEnabled());
        window->detail()->actionBar()->startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120'000);
        QCOMPARE(destinationOf(*window).lastBackupText(), "Last backup: just now — no crates changed since");
    }
    {
        const auto window = open(std::nullopt);
        AppModel& model = window->model();
        QTRY_COMPARE(window->sidebar()->page(), "tree");
        QCOMPARE(model.library().libraryURL(), demo_ / "_Serato_");
        QCOMPARE(destinationOf(*window).pathText(), backup);
        QCOMPARE(model.selection().allLeaves().front()->name, unticked);
        QCOMPARE(model.selection().state(*model.selection().allLeaves().front()),
                 CrateSelection::CheckState::unchecked);
        QCOMPARE(destinationOf(*window).lastBackupText(), "Last backup: just now — no crates changed since");
        QTRY_VERIFY(!destinationOf(*window).freeText().isEmpty());
        QVERIFY(destinationOf(*window).freeText() != "not connected");
    }
    QVERIFY(QDir(backup).removeRecursively());
    const auto window = open(std::nullopt);
    QTRY_COMPARE(destinationOf(*window).freeText(), "not connected");
    QCOMPARE(destinationOf(*window).pathText(), backup);
    QVERIFY(destinationOf(*window).lastBackupText().startsWith("Last backup: just now"));
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    QVERIFY(!window->detail()->actionBar()->startButton()->isEnabled());
}

// A window saved larger than the screen, or on one no longer connected, opens inside the
// screen's available area.
void MainWindowTest::savedGeometryFitsTheScreen() {
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("settings.ini"));
    QWidget window;
    QVERIFY(!SavedGeometry::restore(window, settings));
    const QRect available = window.screen()->availableGeometry();
    settings.setWindowGeometry({QRect(available.right() + 2000, 50, available.width() * 2, 300), false});
    QVERIFY(SavedGeometry::restore(window, settings));
    QVERIFY(available.contains(window.geometry()));
    QCOMPARE(window.width(), available.width());
}

// The other libraries found on this computer sit in their own submenu under the fixed entries,
// which never move. A search that ends while the menu is open changes nothing until it closes;
// choosing a found library loads it, and the loaded library is not offered again.
void MainWindowTest::foundLibrariesInTheMenu() {
    const auto window = open(std::nullopt);
    AppModel& model = window->model();
    QMenu& menu = *window->libraryMenu();
    QMenu& found = *window->foundLibrariesMenu();
    const auto texts = [](const QMenu& of) {
        QStringList result;
        for (const QAction* action : of.actions()) result << action->text();
        return result;
    };
    const QStringList fixed{"Choose Library…", "Reload", "", "Show in File Manager", "", "Check Backup…",
                            "Saved Restores", "", "Other Libraries", "All Libraries on This Computer"};
    QCOMPARE(texts(menu), fixed);
    QCOMPARE(texts(found), QStringList{"No other libraries found"});
    QVERIFY(!found.actions().front()->isEnabled());

    const fs::path home = folder("found-home").toStdString();
    std::error_code linked;
    fs::create_directory_symlink(demo_, home / "Music", linked);
    if (linked) QSKIP("this system makes no symbolic links (Windows without the privilege)");
    model.discovery().setPlaces({home, home / "no-mount-table", {}});
    QSignalSpy searched(&model.discovery(), &LibraryDiscovery::foundLibrariesChanged);
    menu.popup(window->mapToGlobal(QPoint(20, 20)));  // opening the menu searches again
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTRY_COMPARE(searched.count(), 1);
    QCOMPARE(texts(menu), fixed);
    QCOMPARE(texts(found), QStringList{"No other libraries found"});
    QVERIFY(window->foundLibraryActions().empty());

    menu.hide();  // the result is applied once the menu has closed
    QTRY_COMPARE(window->foundLibraryActions().size(), std::size_t(1));
    QCOMPARE(texts(menu), fixed);
    QAction* library = window->foundLibraryActions().front();
    QCOMPARE(found.actions(), QList<QAction*>{library});
    QVERIFY(library->text().startsWith(QStringLiteral("This computer — ")));
    QCOMPARE(library->toolTip(),
             QString::fromStdString(platform::toUtf8(home / "Music" / "_Serato_")));
    library->trigger();
    QTRY_COMPARE(window->sidebar()->page(), "tree");
    QCOMPARE(*model.library().libraryURL(), home / "Music" / "_Serato_");
    QCOMPARE(texts(found), QStringList{"No other libraries found"});
    QCOMPARE(texts(menu), fixed);

    // All libraries, when there is only the one: that library, as it is alone.
    const QString title = window->windowTitle();
    window->allLibrariesAction()->trigger();
    QTRY_VERIFY(!model.library().isLoading());
    QCOMPARE(model.library().libraryFolders(), std::vector<fs::path>{home / "Music" / "_Serato_"});
    QCOMPARE(window->windowTitle(), title);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
