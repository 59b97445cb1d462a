#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace morrowdeck {

class AppModel;
class ElidedLabel;

// "Destination": the chosen folder's name and path (or the prompts to choose one), the free
// space of its volume, "Choose…", and the note that backups never delete. The row takes
// dropped folders: the first dropped item that is a folder becomes the destination; a drop
// without one is refused and says so in the status.
class DestinationSection final : public QGroupBox {
    Q_OBJECT
  public:
    explicit DestinationSection(AppModel& model, QWidget* parent = nullptr);

    QString nameText() const;
    QString pathText() const;
    QString freeText() const;  // "" when not shown
    QPushButton* chooseButton() const { return choose_; }
    bool isHighlighted() const { return highlighted_; }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();
    void setHighlighted(bool highlighted);

    AppModel& model_;
    QLabel* symbol_;
    QLabel* name_;
    ElidedLabel* path_;
    QWidget* freeBox_;
    QLabel* free_;
    QPushButton* choose_;
    bool highlighted_ = false;
};

}  // namespace morrowdeck
