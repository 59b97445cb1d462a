#pragma once

#include <QWidget>

class QSplitter;
class QStackedWidget;

namespace morrowdeck {

class ActionBar;
class ActivityPanel;
class AppModel;
class DestinationSection;
class EmptyState;
class OptionsSection;
class PreflightSummary;
class ProgressSection;

// The right column: "No Serato Library" until a library has crates; then the destination,
// progress (once a backup has started) and options sections, which scroll when the window is
// short, above the activity panel, with the action bar underneath.
class DetailView final : public QWidget {
    Q_OBJECT
  public:
    explicit DetailView(AppModel& model, QWidget* parent = nullptr);

    void setShowLog(bool show);
    bool showsEmptyState() const;

    EmptyState* emptyState() const { return empty_; }
    DestinationSection* destination() const { return destination_; }
    OptionsSection* options() const { return options_; }
    PreflightSummary* preflight() const { return preflight_; }
    ProgressSection* progress() const { return progress_; }
    ActivityPanel* activity() const { return activity_; }
    ActionBar* actionBar() const { return actionBar_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void refresh();

    AppModel& model_;
    QStackedWidget* stack_;
    EmptyState* empty_;
    QWidget* content_;
    QSplitter* split_;
    DestinationSection* destination_;
    OptionsSection* options_;
    PreflightSummary* preflight_;
    ProgressSection* progress_;
    ActivityPanel* activity_;
    ActionBar* actionBar_;
    bool logSized_ = false;  // the user has dragged the divider above the log
};

}  // namespace morrowdeck
