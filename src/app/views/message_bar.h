#pragma once

#include <QFrame>
#include <QString>
#include <optional>

#include "app/notice.h"
#include "app/notice_source.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace morrowdeck {

// A slim bar across the top of a window's content that names a problem the user must act on:
// an icon, what happened and what to do, an optional button that fixes it ("Choose Library…")
// and a close button. Error, warning and info each have their own colours. Hidden while there
// is nothing to show. Screen readers get the whole message as the bar's accessible name.
class MessageBar final : public QFrame {
    Q_OBJECT

  public:
    explicit MessageBar(QWidget* parent = nullptr);

    // Shows `text` and `advice` at `level`; an empty `actionText` shows no button.
    void showMessage(Notice::Level level, const QString& text, const QString& advice,
                     const QString& actionText = QString());
    // Shows a model's notice, with the button its action names.
    void showNotice(const Notice& notice);
    // Shows the notice, or hides the bar when there is none.
    void showNotice(const std::optional<Notice>& notice);
    // Shows what `source` holds from now on; closing the bar dismisses its notice. The source
    // outlives the bar or is destroyed with it.
    void follow(NoticeSource& source);

    Notice::Level level() const { return level_; }
    // What the bar says, as plain text ("What happened. What to do.").
    QString messageText() const;
    QPushButton* actionButton() const { return action_; }
    QToolButton* closeButton() const { return close_; }

    // The button text of a notice's action ("" for none).
    static QString actionText(Notice::Action action);

  signals:
    // The action button was pressed.
    void actionTriggered();
    // The action button of a notice was pressed: its action.
    void actionRequested(Notice::Action action);
    // The close button was pressed; the bar has hidden itself.
    void dismissed();

  private:
    void restyle();

    QLabel* icon_;
    QLabel* text_;
    QPushButton* action_;
    QToolButton* close_;
    Notice::Level level_ = Notice::Level::info;
    Notice::Action noticeAction_ = Notice::Action::none;
    QString plain_;
};

}  // namespace morrowdeck
