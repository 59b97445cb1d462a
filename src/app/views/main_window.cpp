#include "app/views/main_window.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

#include "app/app_model.h"
#include "app/check_backup_model.h"
#include "app/restore_model.h"
#include "app/views/action_bar.h"
#include "app/views/check_backup_window.h"
#include "app/views/desktop_services.h"
#include "app/views/detail_view.h"
#include "app/views/restore_window.h"
#include "app/views/sidebar_view.h"
#include "app/views/style.h"
#include "app/views/symbols.h"
#include "library/serato_library.h"

namespace morrowdeck {

namespace {

const QString defaultTitle = QStringLiteral("Morrowdeck — Serato Backup");

}  // namespace

MainWindow::MainWindow(std::shared_ptr<MainQueue> mainQueue,
                       std::optional<std::filesystem::path> library, QWidget* parent)
    : QMainWindow(parent),
      model_(new AppModel(mainQueue, this)),
      restoreModel_(new RestoreModel(mainQueue, this)),
      checkBackupModel_(new CheckBackupModel(std::move(mainQueue), this)),
      initialLibrary_(std::move(library)),
      sidebar_(new SidebarView(*model_)),
      detail_(new DetailView(*model_)),
      libraryButton_(new QToolButton(this)),
      libraryMenu_(new QMenu(this)),
      reload_(nullptr),
      showLibrarySeparator_(nullptr),
      showLibrary_(nullptr),
      restore_(nullptr),
      activity_(nullptr) {
    setWindowTitle(defaultTitle);
    setMinimumSize(880, 580);
    resize(1200, 800);

    model_->setFolderChooser([this](const AppModel::FolderRequest& request) {
        return DesktopServices::chooseFolder(this, request.title, request.startIn, request.canCreateFolders);
    });
    // The restore model's choosers are asked from the restore window, so they open over it.
    restoreModel_->setFolderChooser([this](const AppModel::FolderRequest& request) {
        QWidget* over = restoreWindow_ && restoreWindow_->isVisible() ? static_cast<QWidget*>(restoreWindow_) : this;
        return DesktopServices::chooseFolder(over, request.title, request.startIn, request.canCreateFolders);
    });
    model_->setRevealer(&DesktopServices::showInFileManager);

    // Toolbar: Library menu, Restore, Activity.
    const QColor symbolColor = Style::primary(palette());
    auto* toolbar = addToolBar("Toolbar");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->toggleViewAction()->setVisible(false);
    libraryMenu_->addAction(Symbols::icon("folder", symbolColor), "Choose Library…", model_,
                            &AppModel::chooseLibrary);
    reload_ = libraryMenu_->addAction(Symbols::icon("arrow.clockwise", symbolColor), "Reload", this, [this] {
        if (model_->libraryURL()) model_->load(*model_->libraryURL());
    });
    showLibrarySeparator_ = libraryMenu_->addSeparator();
    showLibrary_ = libraryMenu_->addAction(Symbols::icon("magnifyingglass", symbolColor), "Show in File Manager",
                                           model_, &AppModel::revealLibrary);
    libraryMenu_->addSeparator();
    libraryMenu_->addAction(Symbols::icon("checkmark.circle.fill", symbolColor), "Check Backup…", this,
                            &MainWindow::openCheckBackupWindow);
    checkBackupModel_->setFolderChooser([this](const AppModel::FolderRequest& request) {
        QWidget* over = checkBackupWindow_ && checkBackupWindow_->isVisible()
                            ? static_cast<QWidget*>(checkBackupWindow_)
                            : this;
        return DesktopServices::chooseFolder(over, request.title, request.startIn,
                                             request.canCreateFolders);
    });
    libraryButton_->setText("Library");
    libraryButton_->setIcon(Symbols::icon("music.note.house", symbolColor));
    libraryButton_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    libraryButton_->setPopupMode(QToolButton::InstantPopup);
    libraryButton_->setMenu(libraryMenu_);
    toolbar->addWidget(libraryButton_);
    restore_ = toolbar->addAction(Symbols::icon("arrow.uturn.backward.circle", symbolColor), "Restore");
    restore_->setToolTip("Restore a Serato library from a Morrowdeck backup");
    connect(restore_, &QAction::triggered, this, &MainWindow::openRestoreWindow);
    activity_ = toolbar->addAction(Symbols::icon("rectangle.bottomthird.inset.filled", symbolColor), "Activity");
    activity_->setToolTip("Show the activity log");
    activity_->setCheckable(true);
    activity_->setChecked(true);
    connect(activity_, &QAction::toggled, detail_, &DetailView::setShowLog);

    auto* split = new QSplitter(Qt::Horizontal, this);
    sidebar_->setMinimumWidth(210);
    sidebar_->setMaximumWidth(340);
    split->addWidget(sidebar_);
    split->addWidget(detail_);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({270, 930});
    setCentralWidget(split);

    // Return starts a backup from anywhere in the window except the search field, where it
    // only ends the typing.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this] {
            if (QApplication::focusWidget() == sidebar_->searchField()) return;
            detail_->actionBar()->triggerDefault();
        });
    }

    connect(model_, &AppModel::libraryURLChanged, this, &MainWindow::refreshLibrary);
    connect(model_, &AppModel::isRunningChanged, this, &MainWindow::refreshLibrary);
    refreshLibrary();
}

// The restore window goes first, so it never sees the restore model half destroyed.
MainWindow::~MainWindow() {
    delete restoreWindow_;
    delete checkBackupWindow_;
}

void MainWindow::openRestoreWindow() {
    if (!restoreWindow_) restoreWindow_ = new RestoreWindow(*restoreModel_, this);
    restoreWindow_->open();
}

void MainWindow::openCheckBackupWindow() {
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
    if (!initialLibrary_) {
        model_->loadDefaultLibrary();
        return;
    }
    if (const auto library = SeratoLibrary::resolveLibrary(*initialLibrary_)) {
        model_->load(*library);
    } else {
        model_->setStatusMessage("No _Serato_ folder found at that location.");
    }
}

void MainWindow::refreshLibrary() {
    const auto& library = model_->libraryURL();
    if (library) {
        const std::filesystem::path folder = library->parent_path();
        const QString name = QString::fromStdString(folder.filename().string());
        setWindowTitle(QStringLiteral("Morrowdeck — %1").arg(name.isEmpty() ? QString::fromStdString(folder.string()) : name));
    } else {
        setWindowTitle(defaultTitle);
    }
    const bool running = model_->isRunning();
    libraryButton_->setEnabled(!running);
    libraryButton_->setToolTip(running ? QStringLiteral("Library is locked during a backup")
                               : library ? QString::fromStdString(library->string())
                                         : QStringLiteral("No library loaded"));
    reload_->setEnabled(library.has_value());
    showLibrarySeparator_->setVisible(library.has_value());
    showLibrary_->setVisible(library.has_value());
}

}  // namespace morrowdeck
