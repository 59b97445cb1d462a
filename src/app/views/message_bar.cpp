#include "app/views/message_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

namespace {

QColor tone(Notice::Level level, const QPalette& palette) {
    switch (level) {
        case Notice::Level::error:
            return Style::red();
        case Notice::Level::warning:
            return Style::orange();
        case Notice::Level::info:
            break;
    }
    return Style::accent(palette);
}

const char* symbol(Notice::Level level) {
    switch (level) {
        case Notice::Level::error:
            return "xmark.octagon.fill";
        case Notice::Level::warning:
            return "exclamationmark.triangle.fill";
        case Notice::Level::info:
            break;
    }
    return "info.circle";
}

}  // namespace

MessageBar::MessageBar(QWidget* parent)
    : QFrame(parent),
      icon_(new QLabel(this)),
      text_(new QLabel(this)),
      action_(new QPushButton(this)),
      close_(new QToolButton(this)) {
    setObjectName(QStringLiteral("messageBar"));
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::RichText);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    close_->setAutoRaise(true);
    close_->setToolTip(QStringLiteral("Close"));
    close_->setAccessibleName(QStringLiteral("Close message"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 6, 6);
    layout->setSpacing(10);
    layout->addWidget(icon_, 0, Qt::AlignTop);
    layout->addWidget(text_, 1);
    layout->addWidget(action_);
    layout->addWidget(close_);
    connect(action_, &QPushButton::clicked, this, [this] {
        emit actionTriggered();
        if (noticeAction_ != Notice::Action::none) emit actionRequested(noticeAction_);
    });
    connect(close_, &QToolButton::clicked, this, [this] {
        hide();
        emit dismissed();
    });
    action_->hide();
    hide();
}

void MessageBar::showMessage(Notice::Level level, const QString& text, const QString& advice,
                             const QString& actionText) {
    level_ = level;
    noticeAction_ = Notice::Action::none;
    plain_ = advice.isEmpty() ? text : text + QLatin1Char(' ') + advice;
    // What happened in bold, what to do after it; paths may hold characters HTML reads.
    text_->setText(
        QStringLiteral("<b>%1</b> %2").arg(text.toHtmlEscaped(), advice.toHtmlEscaped()));
    action_->setText(actionText);
    action_->setVisible(!actionText.isEmpty());
    setAccessibleName(plain_);
    text_->setAccessibleName(plain_);
    restyle();
    show();
}

void MessageBar::showNotice(const Notice& notice) {
    showMessage(notice.level, notice.text, notice.advice, actionText(notice.action));
    noticeAction_ = notice.action;
}

void MessageBar::showNotice(const std::optional<Notice>& notice) {
    if (notice)
        showNotice(*notice);
    else
        hide();
}

void MessageBar::follow(NoticeSource& source) {
    connect(&source, &NoticeSource::changed, this,
            [this, &source] { showNotice(source.notice()); });
    connect(this, &MessageBar::dismissed, &source, &NoticeSource::dismiss);
    showNotice(source.notice());
}

QString MessageBar::messageText() const {
    return isHidden() ? QString() : plain_;
}

QString MessageBar::actionText(Notice::Action action) {
    switch (action) {
        case Notice::Action::chooseLibrary:
            return QStringLiteral("Choose Library…");
        case Notice::Action::chooseDestination:
            return QStringLiteral("Choose Destination…");
        case Notice::Action::none:
            break;
    }
    return {};
}

// A band across the window tinted in the level's colour, with a rule of that colour below
// it, and the icon in the same colour.
void MessageBar::restyle() {
    const QColor color = tone(level_, palette());
    QColor fill = color;
    fill.setAlphaF(0.14);
    setStyleSheet(QStringLiteral("QFrame#messageBar { background: %1; border: none; "
                                 "border-bottom: 1px solid %2; }")
                      .arg(fill.name(QColor::HexArgb), color.name()));
    icon_->setPixmap(Symbols::pixmap(symbol(level_), 18, color, devicePixelRatioF()));
    close_->setIcon(Symbols::icon("xmark.circle.fill", Style::secondary(palette())));
}

}  // namespace morrowdeck
