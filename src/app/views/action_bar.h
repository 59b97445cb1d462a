#pragma once

#include <QWidget>

#include "app/views/click_settle.h"

class QLabel;
class QPushButton;

namespace morrowdeck {

class AppModel;

// The bar under the pane: how many crates and tracks are selected, and "Start Backup" (the
// window's default action, enabled while a backup can start) or, while one runs, "Cancel".
class ActionBar final : public QWidget {
    Q_OBJECT
  public:
    explicit ActionBar(AppModel& model, QWidget* parent = nullptr);

    QString cratesText() const;
    QString tracksText() const;
    QString sizeText() const;  // the selection's size beside its count; "" while worked out
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The default action (Return): starts a backup when one can start.
    void triggerDefault();

  private:
    void refresh();

    AppModel& model_;
    QLabel* crates_;
    QLabel* size_;
    QLabel* tracks_;
    QPushButton* start_;
    ClickSettle settle_;
    bool wasRunning_ = false;
    QPushButton* cancel_;
};

}  // namespace morrowdeck
