#include "app/views/main_window.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/app_model.h"
#include "app/app_settings.h"
#include "app/check_backup_model.h"
#include "app/pane_texts.h"
#include "app/remembered_choices.h"
#include "app/restore_model.h"
#include "app/saved_runs.h"
#include "app/views/action_bar.h"
#include "app/views/check_backup_window.h"
#include "app/views/desktop_notifier.h"
#include "app/views/desktop_services.h"
#include "app/views/destination_section.h"
#include "app/views/detail_view.h"
#include "app/views/message_bar.h"
#include "app/views/restore_window.h"
#include "app/views/sidebar_view.h"
#include "app/views/style.h"
#include "app/views/symbols.h"
#include "app/views/undo_confirmation.h"
#include "app/views/window_keys.h"
#include "app/window_sizing.h"
#include "engine/run_outcome.h"
#include "morrowdeck_version.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

const QString defaultTitle = QStringLiteral("Morrowdeck — Serato Backup");

QString aboutText() {
    return QStringLiteral(
               "<h3>Morrowdeck %1</h3><p>Backs up and restores Serato DJ libraries.</p>"
               "<p>Licence: GPL-3.0-or-later</p>")
        .arg(QString::fromUtf8(version));
}

QString helpText() {
    return QStringLiteral(
        "<h3>Morrowdeck Help</h3>"
        "<p><b>Back up:</b> choose your Serato library (the folder that contains "
        "<i>_Serato_</i>), tick the crates to keep, choose a destination folder and press "
        "Start Backup. Running it again later copies only what changed.</p>"
        "<p><b>Restore:</b> open Restore, choose the backup folder, the folder for the music "
        "and the Serato library, and press Start Restore.</p>"
        "<p><b>Keys:</b> Ctrl+O choose library \u2022 F5 reload \u2022 Ctrl+Shift+R restore "
        "\u2022 F9 show or hide the activity log \u2022 Return start (on Start or in the "
        "destination) \u2022 Escape clear the search, close a window \u2022 Ctrl+W "
        "close a window \u2022 Ctrl+Q quit \u2022 F1 this help</p>");
}

// A tooltip that names the action's key, as "Reload (F5)".
QString withKey(const QString& tip, const QAction& action) {
    return QStringLiteral("%1 (%2)").arg(tip, action.shortcut().toString(QKeySequence::NativeText));
}

// The restore and Check Backup windows start at the backup folder: the destination.
void giveBackupFolder(AppModel& app, RestoreModel& restore, CheckBackupModel& check) {
    restore.setBackupFolder(app.plan().destinationURL());
    check.setBackupFolder(app.plan().destinationURL());
}

}  // namespace

MainWindow::MainWindow(std::shared_ptr<MainQueue> mainQueue,
                       std::optional<std::filesystem::path> library, QWidget* parent)
    : QMainWindow(parent),
      model_(new AppModel(mainQueue, this)),
      settings_(std::make_unique<AppSettings>()),
      remembered_(std::make_unique<RememberedChoices>(*model_, *settings_)),
      restoreModel_(new RestoreModel(mainQueue, this)),
      checkBackupModel_(new CheckBackupModel(mainQueue, this)),
      initialLibrary_(std::move(library)),
      sidebar_(new SidebarView(*model_)),
      detail_(new DetailView(*model_)),
      libraryButton_(new QToolButton(this)),
      libraryMenu_(new QMenu(this)),
      reload_(nullptr),
      showLibrarySeparator_(nullptr),
      showLibrary_(nullptr),
      restore_(nullptr),
      activity_(nullptr),
      about_(nullptr),
      savedRuns_(new SavedRuns(std::move(mainQueue), this)),
      savedMenu_(new QMenu("Saved Restores", this)),
      foundMenu_(new QMenu("Other Libraries", this)) {
    setWindowTitle(defaultTitle);
    detail_->destination()->setHistory(*remembered_);
    // Small enough for a 1366 × 768 screen at 150 % (911 × 512) with a title bar and panel;
    // the sections scroll and the action bar stays in view.
    setMinimumSize(760, 420);
    const QScreen* screen = QGuiApplication::primaryScreen();
    resize(defaultContentSize(screen ? std::optional(screen->availableGeometry().size()) : std::nullopt));

    model_->setFolderChooser([this](const FolderRequest& request) {
        return DesktopServices::chooseFolder(this, request.title, request.startIn, request.canCreateFolders);
    });
    // The restore model's choosers are asked from the restore window, so they open over it.
    restoreModel_->setFolderChooser([this](const FolderRequest& request) {
        QWidget* over = restoreWindow_ && restoreWindow_->isVisible() ? static_cast<QWidget*>(restoreWindow_) : this;
        return DesktopServices::chooseFolder(over, request.title, request.startIn, request.canCreateFolders);
    });
    model_->reveal().setRevealer(&DesktopServices::showInFileManager);
    model_->setConfirmer([this](const QString& message) {
        QMessageBox box(QMessageBox::Warning, "Not Enough Space", message, QMessageBox::NoButton, this);
        box.setInformativeText("Files that do not fit will fail to copy; the rest are backed up.");
        QPushButton* anyway = box.addButton("Back Up Anyway", QMessageBox::AcceptRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        box.exec();
        return box.clickedButton() == anyway;
    });

    // Toolbar: Library menu, Restore, Activity.
    const QColor symbolColor = Style::primary(palette());
    auto* toolbar = addToolBar("Toolbar");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->toggleViewAction()->setVisible(false);
    chooseLibrary_ = libraryMenu_->addAction(Symbols::icon("folder", symbolColor),
                                             "Choose Library…", &model_->library(),
                                             &LibraryModel::chooseLibrary);
    chooseLibrary_->setShortcut(QKeySequence::Open);
    reload_ = libraryMenu_->addAction(Symbols::icon("arrow.clockwise", symbolColor), "Reload",
                                      &model_->library(), &LibraryModel::reload);
    reload_->setShortcut(QKeySequence::Refresh);
    showLibrarySeparator_ = libraryMenu_->addSeparator();
    showLibrary_ = libraryMenu_->addAction(Symbols::icon("magnifyingglass", symbolColor), "Show in File Manager",
                                           &model_->reveal(), &RevealAction::revealLibrary);
    libraryMenu_->addSeparator();
    libraryMenu_->addAction(Symbols::icon("checkmark.circle.fill", symbolColor), "Check Backup…", this,
                            &MainWindow::openCheckBackupWindow);
    checkBackupModel_->setFolderChooser([this](const FolderRequest& request) {
        QWidget* over = checkBackupWindow_ && checkBackupWindow_->isVisible()
                            ? static_cast<QWidget*>(checkBackupWindow_)
                            : this;
        return DesktopServices::chooseFolder(over, request.title, request.startIn,
                                             request.canCreateFolders);
    });
    // The saved runs of the loaded library, read again when the Library menu opens and after
    // each restore, apply or undo; the submenu is rebuilt only while it is closed.
    savedMenu_->setIcon(Symbols::icon("arrow.uturn.backward.circle", symbolColor));
    libraryMenu_->addMenu(savedMenu_);
    connect(libraryMenu_, &QMenu::aboutToShow, this, &MainWindow::refreshSavedRuns);
    connect(&restoreModel_->undo(), &UndoModel::savedRunsChanged, this, &MainWindow::refreshSavedRuns);
    connect(&model_->library(), &LibraryModel::libraryURLChanged, this, &MainWindow::refreshSavedRuns);
    connect(savedRuns_, &SavedRuns::runsChanged, this, [this] {
        if (savedMenu_->isVisible()) savedMenuStale_ = true;
        else rebuildSavedRestoresMenu();
    });
    connect(savedMenu_, &QMenu::aboutToHide, this, [this] {
        if (savedMenuStale_) rebuildSavedRestoresMenu();
    }, Qt::QueuedConnection);
    // An undo cannot start during a restore, an apply or another undo.
    connect(savedMenu_, &QMenu::aboutToShow, this, [this] {
        const bool enabled = restoreModel_->canUndo();
        for (QAction* action : savedMenu_->actions())
            if (action->data().isValid()) action->setEnabled(enabled);
    });
    restoreModel_->undo().setConfirmer([this](const UndoModel::Prompt& prompt) {
        QWidget* over = restoreWindow_ && restoreWindow_->isVisible() ? static_cast<QWidget*>(restoreWindow_) : this;
        return UndoConfirmation::ask(over, prompt);
    });
    rebuildSavedRestoresMenu();
    // The other libraries of this computer and its drives, in a submenu under the fixed
    // entries so those never move. They are looked for again each time the menu opens (a drive
    // may just have been plugged in); a result that arrives while the menu is open waits until
    // it closes, so no entry moves under the pointer.
    libraryMenu_->addSeparator();
    foundMenu_->setIcon(Symbols::icon("externaldrive", symbolColor));
    foundMenu_->setToolTipsVisible(true);
    libraryMenu_->addMenu(foundMenu_);
    allLibraries_ = libraryMenu_->addAction(Symbols::icon("externaldrive", symbolColor),
                                            "All Libraries on This Computer", model_,
                                            &AppModel::loadAllLibraries);
    allLibraries_->setToolTip("The home library and every drive's, as one library");
    connect(libraryMenu_, &QMenu::aboutToShow, &model_->discovery(), &LibraryDiscovery::findLibraries);
    connect(&model_->discovery(), &LibraryDiscovery::foundLibrariesChanged, this,
            &MainWindow::refreshFoundLibraries);
    connect(&model_->library(), &LibraryModel::libraryURLChanged, this, &MainWindow::refreshFoundLibraries);
    connect(libraryMenu_, &QMenu::aboutToHide, this, [this] {
        if (foundMenuStale_) rebuildFoundLibrariesMenu();
    }, Qt::QueuedConnection);
    rebuildFoundLibrariesMenu();
    libraryButton_->setText("Library");
    libraryButton_->setIcon(Symbols::icon("music.note.house", symbolColor));
    libraryButton_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    libraryButton_->setPopupMode(QToolButton::InstantPopup);
    libraryButton_->setMenu(libraryMenu_);
    toolbar->addWidget(libraryButton_);
    restore_ = toolbar->addAction(Symbols::icon("arrow.uturn.backward.circle", symbolColor), "Restore");
    restore_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    restore_->setToolTip(withKey("Restore a Serato library from a Morrowdeck backup", *restore_));
    connect(restore_, &QAction::triggered, this, &MainWindow::openRestoreWindow);
    activity_ = toolbar->addAction(Symbols::icon("rectangle.bottomthird.inset.filled", symbolColor), "Activity");
    // F9 shows and hides a pane in GNOME's applications.
    activity_->setShortcut(QKeySequence(Qt::Key_F9));
    activity_->setToolTip(withKey("Show or hide the activity log", *activity_));
    activity_->setCheckable(true);
    activity_->setChecked(true);
    connect(activity_, &QAction::toggled, detail_, &DetailView::setShowLog);
    // The Help menu sits at the toolbar's far end.
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    auto* helpMenu = new QMenu(this);
    QAction* help = helpMenu->addAction(Symbols::icon("info.circle", symbolColor), "Morrowdeck Help",
                                        this, [this] { QMessageBox::information(this, "Morrowdeck Help", helpText()); });
    help->setShortcut(QKeySequence::HelpContents);
    about_ = helpMenu->addAction(Symbols::icon("info.circle", symbolColor), "About Morrowdeck", this,
                                 [this] { QMessageBox::about(this, "About Morrowdeck", aboutText()); });
    auto* helpButton = new QToolButton(this);
    helpButton->setText("Help");
    helpButton->setIcon(Symbols::icon("info.circle", symbolColor));
    helpButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    helpButton->setPopupMode(QToolButton::InstantPopup);
    helpButton->setMenu(helpMenu);
    toolbar->addWidget(helpButton);
    // The toolbar's buttons take Tab too, so the Library and Help menus open from the keyboard
    // (Space) as well as by their keys.
    for (QAction* action : toolbar->actions())
        if (QWidget* button = toolbar->widgetForAction(action); qobject_cast<QToolButton*>(button))
            button->setFocusPolicy(Qt::TabFocus);

    // The menus' shortcuts work while their menus are closed: the actions belong to the window
    // too. Ctrl+Q quits from anywhere in the window.
    addActions({chooseLibrary_, reload_, help});
    auto* quit = new QAction("Quit", this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // also where the platform binds none
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);

    auto* split = new QSplitter(Qt::Horizontal, this);
    sidebar_->setMinimumWidth(210);
    // Wide enough for long crate names when the user drags the divider.
    sidebar_->setMaximumWidth(640);
    split->addWidget(sidebar_);
    split->addWidget(detail_);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({270, 930});
    // The problem the window must show, above everything it concerns.
    auto* content = new QWidget(this);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);
    messageBar_ = new MessageBar(content);
    contentLayout->addWidget(messageBar_);
    contentLayout->addWidget(split, 1);
    setCentralWidget(content);
    messageBar_->follow(model_->notices());
    connect(messageBar_, &MessageBar::actionRequested, model_, [this](Notice::Action action) {
        if (action == Notice::Action::chooseLibrary) model_->library().chooseLibrary();
        if (action == Notice::Action::chooseDestination) model_->plan().chooseDestination();
    });
    // Tab follows the page: the search and the crates, the destination, the progress, the
    // options and the log, Start, then round to the toolbar.
    chainTabOrder({sidebar_, detail_, toolbar});

    // Return starts a backup only from the destination row, and on the Start button itself
    // (a default button presses on Return). Everywhere else Return belongs to the
    // widget that has it: a drop-down's choice, a spin box's value, the tree, the search.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), detail_->destination());
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        // After "Choose…" has set the destination, focus is back on it, and Return goes on
        // to the backup (Space presses "Choose…" again).
        connect(shortcut, &QShortcut::activated, detail_->actionBar(), &ActionBar::triggerDefault);
    }

    connect(&model_->library(), &LibraryModel::libraryURLChanged, this, &MainWindow::refreshLibrary);
    connect(&model_->run(), &RunModel::isRunningChanged, this, &MainWindow::refreshLibrary);
    // A long backup that ends while the user works elsewhere, and every failed one, is told
    // to the desktop; clicking the notification brings the window forward.
    notifier_ = new DesktopNotifier(this);
    connect(notifier_, &DesktopNotifier::activated, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(&model_->run(), &RunModel::isRunningChanged, this, [this] {
        const RunModel& run = model_->run();
        const bool running = run.isRunning();
        if (running && !wasRunning_) runTimer_.start();
        if (!running && wasRunning_ && run.progress().finished) {
            const RunOutcome outcome = RunOutcome::of(run.progress());
            const bool failed = !outcome.isSuccess() && !outcome.isCancelled();
            if (DesktopNotifier::worthTelling(runTimer_.elapsed() / 1000, isActiveWindow(), failed))
                notifier_->notifyRunEnded(QStringLiteral("Backup"), run.progress());
        }
        wasRunning_ = running;
    });
    connect(&model_->run(), &RunModel::isRunningChanged, this, [this] {
        if (!model_->run().isRunning() && model_->run().progress().finished &&
            !model_->run().progress().cancelled)
            giveBackupFolder(*model_, *restoreModel_, *checkBackupModel_);
    });
    refreshLibrary();
    model_->discovery().findLibraries();
}

// The restore window goes first, so it never sees the restore model half destroyed.
MainWindow::~MainWindow() {
    delete restoreWindow_;
    delete checkBackupWindow_;
}

void MainWindow::openRestoreWindow() {
    giveBackupFolder(*model_, *restoreModel_, *checkBackupModel_);
    if (!restoreWindow_) restoreWindow_ = new RestoreWindow(*restoreModel_, this);
    restoreWindow_->open();
}

void MainWindow::openCheckBackupWindow() {
    giveBackupFolder(*model_, *restoreModel_, *checkBackupModel_);
    if (!checkBackupWindow_) checkBackupWindow_ = new CheckBackupWindow(*checkBackupModel_, this);
    checkBackupWindow_->show();
    checkBackupWindow_->raise();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    loadInitialLibrary();
}

void MainWindow::loadInitialLibrary() {
    if (initialLibrary_) {
        model_->library().open(*initialLibrary_);
    } else if (const auto last = remembered_->initialLibrary()) {
        model_->library().load(*last);
    } else {
        model_->library().loadDefaultLibrary();
    }
}

void MainWindow::refreshFoundLibraries() {
    if (libraryMenu_->isVisible()) foundMenuStale_ = true;
    else rebuildFoundLibrariesMenu();
}

void MainWindow::rebuildFoundLibrariesMenu() {
    foundMenuStale_ = false;
    foundMenu_->clear();
    foundActions_.clear();
    const QColor symbolColor = Style::primary(palette());
    // The loaded library is left out: Reload covers it. Each of several loaded as one stays,
    // to go back to that library alone.
    const auto& loaded = model_->library().libraryURL();
    const bool several = model_->library().spansLibraries();
    for (const auto& found : model_->discovery().foundLibraries()) {
        if (!several && loaded && found.folder.lexically_normal() == loaded->lexically_normal())
            continue;
        QAction* action = foundMenu_->addAction(
            Symbols::icon(found.onDrive ? "externaldrive" : "music.note.house", symbolColor),
            paneText::foundLibraryText(found));
        QString tip = QString::fromStdString(platform::toUtf8(found.folder));
        if (!found.hardLinks)
            tip += QStringLiteral(
                "\nNo hard links on this drive: de-duplicated tracks are stored as copies.");
        action->setToolTip(tip);
        connect(action, &QAction::triggered, model_, [this, folder = found.folder] { model_->library().load(folder); });
        foundActions_.push_back(action);
    }
    if (foundActions_.empty()) foundMenu_->addAction("No other libraries found")->setEnabled(false);
    allLibraries_->setEnabled(!model_->allLibraries().empty());
}

void MainWindow::refreshSavedRuns() {
    savedRuns_->refresh(model_->library().libraryURL());
}

void MainWindow::rebuildSavedRestoresMenu() {
    savedMenuStale_ = false;
    savedMenu_->clear();
    const auto& runs = savedRuns_->runs();
    if (runs.empty() || !savedRuns_->library()) {
        savedMenu_->addAction("No saved restores")->setEnabled(false);
        return;
    }
    const std::filesystem::path library = *savedRuns_->library();
    for (const auto& run : runs) {
        QAction* action = savedMenu_->addAction(SavedRuns::entryText(run));
        // An undone run is listed but cannot be chosen (only choosable entries carry data).
        if (run.undone) action->setEnabled(false);
        else action->setData(QString::fromStdString(run.id));
        connect(action, &QAction::triggered, this,
                [this, library, id = run.id] { undoSavedRun(library, id); });
    }
}

void MainWindow::undoSavedRun(const std::filesystem::path& library, const std::string& runId) {
    openRestoreWindow();
    restoreModel_->undoRun(library, runId);
}

void MainWindow::refreshLibrary() {
    const auto& library = model_->library().libraryURL();
    const auto& folders = model_->library().libraryFolders();
    if (folders.size() > 1) {
        setWindowTitle(QStringLiteral("Morrowdeck — All Libraries (%1)").arg(folders.size()));
    } else if (library) {
        const std::filesystem::path folder = library->parent_path();
        const QString name = QString::fromStdString(platform::toUtf8(folder.filename()));
        setWindowTitle(
            QStringLiteral("Morrowdeck — %1")
                .arg(name.isEmpty() ? QString::fromStdString(platform::toUtf8(folder)) : name));
    } else {
        setWindowTitle(defaultTitle);
    }
    const bool running = model_->run().isRunning();
    libraryButton_->setEnabled(!running);
    QStringList paths;
    for (const auto& folder : folders)
        paths << QString::fromStdString(platform::toUtf8(folder));
    libraryButton_->setToolTip(running   ? QStringLiteral("Library is locked during a backup")
                               : library ? paths.join(QLatin1Char('\n'))
                                         : QStringLiteral("No library loaded"));
    reload_->setEnabled(library.has_value());
    showLibrarySeparator_->setVisible(library.has_value());
    showLibrary_->setVisible(library.has_value());
}

}  // namespace morrowdeck
