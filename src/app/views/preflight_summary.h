#pragma once

#include <QGroupBox>

class QLabel;
class QToolButton;
class QTreeWidget;

namespace morrowdeck {

class AppModel;

// What the next backup will do, from the engine's plan of the ticked crates onto the
// destination: the files to copy, up to date and missing in total, whether they fit, and the
// same per crate in a breakdown that opens under "Crates". Hidden while a backup runs and
// when nothing is ticked. While a new plan is worked out the last one stays, greyed.
class PreflightSummary final : public QGroupBox {
    Q_OBJECT
  public:
    explicit PreflightSummary(AppModel& model, QWidget* parent = nullptr);

    QString totalsText() const;
    QString fitText() const;  // "" when hidden
    bool fitIsWarning() const { return warning_; }
    QToolButton* crateToggle() const { return toggle_; }
    QTreeWidget* breakdown() const { return breakdown_; }

  private:
    void refresh();

    AppModel& model_;
    QLabel* totals_;
    QLabel* fit_;
    QToolButton* toggle_;
    QTreeWidget* breakdown_;
    bool warning_ = false;
    bool shown_ = false;  // a plan has been shown since the last load
};

}  // namespace morrowdeck
