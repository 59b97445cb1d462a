#pragma once

#include <QDialog>

#include "app/views/click_settle.h"

class QCheckBox;
class QComboBox;
class QTableWidget;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeView;

namespace morrowdeck {

class ElidedLabel;
class LocationRow;
class MessageBar;
class ProblemList;
class RestoreProgress;
class RestoreModel;

// The restore window, a fixed-size window-modal dialog over the main window: the backup, audio
// and Serato folders with their choosers, the two options, the progress of the running or last
// restore with the problems it met (damaged, missing and failed files), the apply step for
// ratings and rules, the status line, Undo Last Restore and Start
// Restore / Cancel.
// Everything shown comes from the model, which outlives the window: closing it (always
// possible) leaves a run going, and reopening shows the run's live state.
class RestoreWindow final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int width = 580;
    static constexpr int height = 740;

    explicit RestoreWindow(RestoreModel& model, QWidget* parent = nullptr);

    LocationRow* backupRow() const { return backup_; }
    LocationRow* audioRow() const { return audio_; }
    LocationRow* seratoRow() const { return serato_; }
    // The backup's crates with check boxes: the checked ones are restored.
    QTreeView* cratesView() const { return crates_; }
    QString cratesCaption() const;
    // "One folder per crate" or "As it was".
    QComboBox* layoutBox() const { return layout_; }
    // As it was: each library of the backup, its target folder (a Choose… button) and files.
    QTableWidget* targetsTable() const { return targets_; }
    QCheckBox* overwriteBox() const { return overwrite_; }
    QCheckBox* rebuildBox() const { return rebuild_; }
    QString rebuildCaption() const;
    // Hidden before the first run.
    RestoreProgress* progressSection() const { return progress_; }
    // Hidden while the last restore or undo met no problem.
    ProblemList* problemList() const { return problems_; }
    QPushButton* applyButton() const { return apply_; }
    bool showsApplySpinner() const;
    QString applyResultText() const;  // "" when hidden
    QString statusText() const;
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }
    // "Undo Last Restore": shown once a restore or apply made a run folder in the chosen library.
    QPushButton* undoButton() const { return undo_; }
    QToolButton* closeButton() const { return close_; }
    MessageBar* messageBar() const { return messageBar_; }

  private:
    QWidget* header();
    QWidget* actionBar();
    QGroupBox* applyGroup();
    QGroupBox* cratesGroup();
    void refreshFolders();
    void refreshCrates();
    void refreshLayout();
    void refreshTargets();
    void refreshOptions();
    void refreshProgress();
    void refreshApply();
    void refreshActions();

    RestoreModel& model_;
    QToolButton* close_;
    LocationRow* backup_;
    LocationRow* audio_;
    LocationRow* serato_;
    QTreeView* crates_;
    QLabel* cratesCaption_;
    QComboBox* layout_;
    QTableWidget* targets_;
    QLabel* targetsCaption_;
    QCheckBox* overwrite_;
    QCheckBox* rebuild_;
    QLabel* rebuildCaption_;
    RestoreProgress* progress_;
    ProblemList* problems_;
    QProgressBar* spinner_;
    QPushButton* apply_;
    QLabel* applyResult_;
    ElidedLabel* status_;
    QPushButton* start_;
    ClickSettle settle_;  // Start ignores a click meant for Cancel just after a run ends
    bool wasRunning_ = false;
    QPushButton* cancel_;
    QPushButton* undo_;
    MessageBar* messageBar_ = nullptr;
};

}  // namespace morrowdeck
