#pragma once

#include <QGroupBox>

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace morrowdeck {

class AppModel;
class ElidedLabel;

// The running or last backup: percentage and file counts, the bar, the file being copied,
// throughput and time left, the count badges, and "Show in File Manager" once a run has
// finished without being cancelled. Titled with the snapshot's phase, or "Progress".
class ProgressSection final : public QGroupBox {
    Q_OBJECT
  public:
    explicit ProgressSection(AppModel& model, QWidget* parent = nullptr);

    QString percentText() const;
    QString filesText() const;
    QString currentFileText() const;  // "" when hidden
    QString throughputText() const;
    QString timeLeftText() const;     // "" when hidden
    // The badges on show, as "Copied 3" etc., in order.
    QStringList chipTexts() const;
    QPushButton* showInFileManager() const { return reveal_; }

  private:
    void refresh();

    AppModel& model_;
    QLabel* percent_;
    QLabel* files_;
    QProgressBar* bar_;
    ElidedLabel* currentFile_;
    QLabel* throughput_;
    QWidget* timeLeftBox_;
    QLabel* timeLeft_;
    QHBoxLayout* chips_;
    QPushButton* reveal_;
};

}  // namespace morrowdeck
