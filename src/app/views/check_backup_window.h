#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace morrowdeck {

class CheckBackupModel;

// "Check Backup": choose a backup folder, check it, watch the progress and read what was
// found, one row per damaged, missing or unexpected file, under a summary line.
class CheckBackupWindow final : public QDialog {
    Q_OBJECT
  public:
    CheckBackupWindow(CheckBackupModel& model, QWidget* parent = nullptr);

    QTreeWidget* results() const { return results_; }

  private:
    void refresh();
    void fillResults();

    CheckBackupModel& model_;
    QLineEdit* folder_;
    QPushButton* choose_;
    QPushButton* check_;
    QProgressBar* progress_;
    QTreeWidget* results_;
    QLabel* summary_;
};

}  // namespace morrowdeck
