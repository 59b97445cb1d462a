#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace morrowdeck {

class AppModel;

// "Options": shared tracks, smart crates, re-copy only changed files and parallel copies, each
// with the explanation of its current value. Disabled while a backup runs; edits reach the
// next backup only.
class OptionsSection final : public QGroupBox {
    Q_OBJECT
  public:
    explicit OptionsSection(AppModel& model, QWidget* parent = nullptr);

    QComboBox* sharedTracks() const { return duplicate_; }
    QComboBox* smartCrates() const { return smart_; }
    QCheckBox* verifyExisting() const { return verify_; }
    QSpinBox* parallelCopies() const { return threads_; }
    // The explanation lines, top to bottom.
    QStringList explanations() const;

  private:
    void refresh();

    AppModel& model_;
    QComboBox* duplicate_;
    QLabel* duplicateText_;
    QComboBox* smart_;
    QLabel* smartText_;
    QCheckBox* verify_;
    QLabel* verifyText_;
    QSpinBox* threads_;
    QLabel* threadsText_;
};

}  // namespace morrowdeck
