#pragma once

#include <QWidget>

class QListView;
class QStackedWidget;

namespace morrowdeck {

class RunModel;
class ElidedLabel;
class EmptyState;
class LogModel;

// The activity log under the pane: a header with the status line, then "No Activity Yet" or
// the log lines (level symbol and colour, monospaced, selectable and copyable), kept scrolled
// to the newest line as lines arrive, also once the oldest ones are dropped at the cap.
class ActivityPanel final : public QWidget {
    Q_OBJECT
  public:
    explicit ActivityPanel(RunModel& model, QWidget* parent = nullptr);

    QString statusText() const;
    bool showsEmptyState() const;
    QListView* list() const { return list_; }

  private:
    void showPage();
    void copySelection();

    RunModel& model_;
    LogModel* logModel_;
    ElidedLabel* status_;
    QStackedWidget* stack_;
    EmptyState* empty_;
    QListView* list_;
};

}  // namespace morrowdeck
