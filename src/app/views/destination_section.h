#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace morrowdeck {

class AppModel;
class ElidedLabel;
class RememberedChoices;

// "Destination": the chosen folder's name and path (or the prompts to choose one), the free
// space of its volume, "Choose…", and the note that backups never delete. The row takes
// dropped folders: the first dropped item that is a folder becomes the destination; a drop
// without one is refused and says so in the status. Given the remembered choices, it says when
// the library was last backed up there; a folder that is missing (an unplugged drive) reads
// "not connected", looked at again whenever the window becomes active.
class DestinationSection final : public QGroupBox {
    Q_OBJECT
  public:
    explicit DestinationSection(AppModel& model, QWidget* parent = nullptr);

    QString nameText() const;
    QString pathText() const;
    QString freeText() const;  // "" when not shown, "not connected" for a missing folder
    // "Last backup: …" or "Never backed up"; "" when not shown.
    QString lastBackupText() const;
    void setHistory(const RememberedChoices& history);
    QPushButton* chooseButton() const { return choose_; }
    bool isHighlighted() const { return highlighted_; }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void refresh();
    void setHighlighted(bool highlighted);

    AppModel& model_;
    QLabel* symbol_;
    QLabel* name_;
    ElidedLabel* path_;
    QWidget* freeBox_;
    QLabel* free_;
    QLabel* freeWord_;
    QLabel* lastBackup_;
    const RememberedChoices* history_ = nullptr;
    QPushButton* choose_;
    bool highlighted_ = false;
};

}  // namespace morrowdeck
