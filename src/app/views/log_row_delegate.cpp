#include "app/views/log_row_delegate.h"

#include <QApplication>
#include <QPainter>

#include "app/log_model.h"
#include "app/views/style.h"
#include "app/views/symbols.h"
#include "engine/log_entry.h"

namespace morrowdeck {

namespace {

constexpr int symbolWidth = 12;
constexpr int gap = 6;

struct LevelLook {
    const char* symbol;
    QColor symbolColor;
    QColor textColor;
};

LevelLook look(LogEntry::Level level, const QPalette& palette) {
    switch (level) {
        case LogEntry::Level::success: return {"checkmark.circle.fill", Style::green(), Style::primary(palette)};
        case LogEntry::Level::warning:
            return {"exclamationmark.triangle.fill", Style::orange(), Style::primary(palette)};
        case LogEntry::Level::error: return {"xmark.octagon.fill", Style::red(), Style::red()};
        case LogEntry::Level::info: break;
    }
    return {"info.circle", Style::secondary(palette), Style::primary(palette)};
}

}  // namespace

void LogRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem panel = option;
    initStyleOption(&panel, index);
    panel.text.clear();
    const QWidget* widget = option.widget;
    (widget ? widget->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);

    const auto level = LogEntry::Level(index.data(LogModel::levelRole).toInt());
    LevelLook colours = look(level, option.palette);
    if (option.state & QStyle::State_Selected) colours.textColor = option.palette.color(QPalette::HighlightedText);
    const QFont font = Style::monospaced(Style::Text::caption);
    const int lineHeight = QFontMetrics(font).height();
    const QRect row = option.rect;
    painter->save();
    painter->drawPixmap(row.left() + 4, row.top() + (lineHeight - symbolWidth) / 2 + 1,
                        Symbols::pixmap(colours.symbol, symbolWidth, colours.symbolColor,
                                        painter->device()->devicePixelRatioF()));
    painter->setFont(font);
    painter->setPen(colours.textColor);
    painter->drawText(row.adjusted(4 + symbolWidth + gap, 0, -4, 0), Qt::AlignLeft | Qt::AlignTop,
                      index.data().toString());
    painter->restore();
}

QSize LogRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const QFontMetrics metrics(Style::monospaced(Style::Text::caption));
    return {4 + symbolWidth + gap + metrics.horizontalAdvance(index.data().toString()) + 4, metrics.height()};
}

}  // namespace morrowdeck
