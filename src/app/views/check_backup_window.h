#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace morrowdeck {

class CheckBackupModel;

// "Check Backup": choose a backup folder (or type its path: Return or leaving the field takes
// it, and a path that is no folder says so under the field), check it, watch the progress and
// read what was found, one row per damaged, missing or unexpected file, under a summary line
// that says what to do about them.
class CheckBackupWindow final : public QDialog {
    Q_OBJECT
  public:
    CheckBackupWindow(CheckBackupModel& model, QWidget* parent = nullptr);
    // The path field loses focus while the window is taken apart; its editingFinished must
    // not reach this half-destroyed window then.
    ~CheckBackupWindow() override;

    QTreeWidget* results() const { return results_; }
    QLineEdit* folderField() const { return folder_; }
    QString pathProblemText() const;  // "" when hidden
    QString summaryText() const;

  private:
    void refresh();
    void showFolder();
    void showPathProblem();
    void fillResults();

    CheckBackupModel& model_;
    QLineEdit* folder_;
    QLabel* pathProblem_;
    QPushButton* choose_;
    QPushButton* check_;
    QProgressBar* progress_;
    QTreeWidget* results_;
    QLabel* summary_;
};

}  // namespace morrowdeck
