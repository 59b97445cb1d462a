#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QToolButton;

namespace morrowdeck {

class DesktopNotifier;

class AppModel;
class AppSettings;
class CheckBackupModel;
class CheckBackupWindow;
class DetailView;
class MainQueue;
class MessageBar;
class RestoreModel;
class RememberedChoices;
class RestoreWindow;
class SavedRuns;
class SidebarView;

// The main window: the toolbar (Library menu, Restore, Activity, Help) over the crate sidebar and
// the backup pane. It owns the window model and the restore model for its whole life, so the
// restore window's choices, status and any run survive closing it. When first shown it loads
// the library given at start, or else the one used last when it still exists, or else the
// default one.
class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(std::shared_ptr<MainQueue> mainQueue,
                        std::optional<std::filesystem::path> library = std::nullopt,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    AppModel& model() const { return *model_; }
    RestoreModel& restoreModel() const { return *restoreModel_; }
    // The restore window, made when first opened; null before.
    RestoreWindow* restoreWindow() const { return restoreWindow_; }
    void openRestoreWindow();
    // The "Check Backup…" window, made when first opened.
    void openCheckBackupWindow();
    SidebarView* sidebar() const { return sidebar_; }
    DetailView* detail() const { return detail_; }
    MessageBar* messageBar() const { return messageBar_; }
    QToolButton* libraryButton() const { return libraryButton_; }
    QAction* reloadAction() const { return reload_; }
    QAction* showLibraryAction() const { return showLibrary_; }
    QAction* restoreAction() const { return restore_; }
    QAction* activityAction() const { return activity_; }
    QMenu* libraryMenu() const { return libraryMenu_; }
    // "Other Libraries", the Library menu's last entry: the libraries found on this computer
    // and its drives, but the loaded one.
    QMenu* foundLibrariesMenu() const { return foundMenu_; }
    const std::vector<QAction*>& foundLibraryActions() const { return foundActions_; }
    // "All Libraries on This Computer": the home library and every one found, as one.
    QAction* allLibrariesAction() const { return allLibraries_; }
    QAction* aboutAction() const { return about_; }
    // "Saved Restores": the loaded library's saved restore and apply runs, newest first; one
    // opens the restore window and undoes that run after a confirmation.
    QMenu* savedRestoresMenu() const { return savedMenu_; }
    SavedRuns& savedRuns() const { return *savedRuns_; }
    // The user's remembered library, destinations, crate ticks, options and backup records.
    RememberedChoices& remembered() const { return *remembered_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void refreshLibrary();
    void loadInitialLibrary();
    void refreshFoundLibraries();
    void rebuildFoundLibrariesMenu();
    void refreshSavedRuns();
    void rebuildSavedRestoresMenu();
    void undoSavedRun(const std::filesystem::path& library, const std::string& runId);

    AppModel* model_;
    // Both go before the window model, which outlives them as a child of this window.
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<RememberedChoices> remembered_;
    RestoreModel* restoreModel_;
    RestoreWindow* restoreWindow_ = nullptr;
    CheckBackupModel* checkBackupModel_;
    CheckBackupWindow* checkBackupWindow_ = nullptr;
    std::optional<std::filesystem::path> initialLibrary_;
    bool shown_ = false;
    SidebarView* sidebar_;
    DetailView* detail_;
    MessageBar* messageBar_ = nullptr;
    QToolButton* libraryButton_;
    QMenu* libraryMenu_;
    QAction* chooseLibrary_;
    QAction* reload_;
    QAction* showLibrarySeparator_;
    QAction* showLibrary_;
    QAction* restore_;
    QAction* activity_;
    QAction* about_;
    SavedRuns* savedRuns_;
    QMenu* savedMenu_;
    bool savedMenuStale_ = false;  // the list changed while the menu was open
    QMenu* foundMenu_;
    QAction* allLibraries_ = nullptr;
    std::vector<QAction*> foundActions_;  // foundMenu_'s entries, one per library
    bool foundMenuStale_ = false;         // found or loaded changed while the Library menu was open
    DesktopNotifier* notifier_;
    QElapsedTimer runTimer_;  // since the running backup started
    bool wasRunning_ = false;
};

}  // namespace morrowdeck
