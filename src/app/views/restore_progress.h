#pragma once

#include <QGroupBox>

#include "engine/progress_snapshot.h"

class QLabel;
class QProgressBar;

namespace morrowdeck {

class ElidedLabel;

// The restore window's progress section: titled with the run's phase (or "Progress"), a bar,
// the whole percentage on the left and "{completed} / {total}" on the right, the file being
// restored, shortened in the middle, and the bytes copied and throughput with the time left,
// worded as the backup's. Shown only while a run is under way or once one
// has finished.
class RestoreProgress final : public QGroupBox {
    Q_OBJECT
  public:
    explicit RestoreProgress(QWidget* parent = nullptr);

    void setProgress(const ProgressSnapshot& progress, bool running);

    QString percentText() const;
    QString countText() const;
    QString currentFileText() const;  // "" when hidden
    QString throughputText() const;
    QString timeLeftText() const;     // "" when hidden
    double barFraction() const;

  private:
    QProgressBar* bar_;
    QLabel* percent_;
    QLabel* count_;
    ElidedLabel* currentFile_;
    QLabel* throughput_;
    QLabel* timeLeft_;
    QWidget* timeLeftBox_;
};

}  // namespace morrowdeck
