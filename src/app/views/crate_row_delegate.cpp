#include "app/views/crate_row_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "app/crate_roles.h"
#include "app/views/style.h"
#include "app/views/symbols.h"

namespace morrowdeck {

namespace {

constexpr int margin = 4;
constexpr int symbolSize = 16;
constexpr int gap = 6;

QString checkSymbol(Qt::CheckState state) {
    switch (state) {
        case Qt::Checked: return "checkmark.square.fill";
        case Qt::PartiallyChecked: return "minus.square.fill";
        case Qt::Unchecked: break;
    }
    return "square";
}

bool hasChildren(const QModelIndex& index) {
    return index.data(CrateRole::hasChildren).toBool();
}

qint64 missingTracks(const QModelIndex& index) {
    return index.data(CrateRole::missingTracks).toLongLong();
}

// The width the missing-tracks badge takes before the count, gap included; 0 without one.
int badgeWidth(const QModelIndex& index) {
    return missingTracks(index) > 0 ? symbolSize + gap : 0;
}

void toggle(QAbstractItemModel* model, const QModelIndex& index) {
    const auto state = index.data(Qt::CheckStateRole).value<Qt::CheckState>();
    model->setData(index, state == Qt::Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

}  // namespace

CrateRowDelegate::CrateRowDelegate(bool showPath, QObject* parent)
    : QStyledItemDelegate(parent), showPath_(showPath) {}

QRect CrateRowDelegate::checkBoxRect(const QRect& row) {
    return {row.left() + margin, row.center().y() - symbolSize / 2 + 1, symbolSize, symbolSize};
}

// The width left for the name and path: the row without the box, the kind symbol and the
// track count.
int CrateRowDelegate::textWidth(const QRect& row, const QModelIndex& index) {
    const QString count = index.data(CrateRole::trackCount).toString();
    const int countWidth = QFontMetrics(Style::monospaced(Style::Text::caption2)).horizontalAdvance(count);
    const int textLeft = checkBoxRect(row).right() + 1 + gap + symbolSize + gap;
    return row.right() - margin - countWidth - gap - badgeWidth(index) - textLeft;
}

QRect CrateRowDelegate::badgeRect(const QRect& row, const QModelIndex& index) {
    if (badgeWidth(index) == 0) return {};
    const QString count = index.data(CrateRole::trackCount).toString();
    const int countWidth = QFontMetrics(Style::monospaced(Style::Text::caption2)).horizontalAdvance(count);
    return {row.right() - margin - countWidth - gap - symbolSize, row.center().y() - symbolSize / 2 + 1,
            symbolSize, symbolSize};
}

QString CrateRowDelegate::missingText(qint64 missing) {
    return QStringLiteral("%1 %2 missing").arg(missing).arg(missing == 1 ? "track" : "tracks");
}

// The crate's place in the library: its ancestors' names and its own, " / " between them.
QString CrateRowDelegate::fullPath(const QModelIndex& index) const {
    if (showPath_) {
        const QString path = index.data(CrateRole::path).toString();
        return path.isEmpty() ? index.data().toString() : path;
    }
    QStringList names;
    for (QModelIndex at = index; at.isValid(); at = at.parent())
        names.prepend(at.data().toString());
    return names.join(QStringLiteral(" / "));
}

bool CrateRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // Only a row whose name or path is cut short has a tooltip: the full name and path.
    const int width = textWidth(option.rect, index);
    const QString name = index.data().toString();
    const QString path = pathLine(index);
    const bool cut = QFontMetrics(option.font).horizontalAdvance(name) > width ||
                     QFontMetrics(Style::font(Style::Text::caption2)).horizontalAdvance(path) > width;
    // A crate with tracks not found says how many, whatever fits.
    const qint64 missing = missingTracks(index);
    if (!cut && missing == 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QStringList lines;
    if (cut) {
        const QString place = fullPath(index);
        lines << name;
        if (place != name) lines << place;
    }
    if (missing > 0) lines << missingText(missing);
    QToolTip::showText(event->globalPos(), lines.join(QLatin1Char('\n')), view->viewport(), option.rect);
    return true;
}

QString CrateRowDelegate::pathLine(const QModelIndex& index) const {
    return showPath_ ? index.data(CrateRole::path).toString() : QString();
}

void CrateRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem panel = option;
    initStyleOption(&panel, index);
    panel.text.clear();
    panel.icon = QIcon();
    panel.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);

    const QPalette& palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor secondary = selected ? palette.color(QPalette::HighlightedText) : Style::secondary(palette);
    const QColor accent = selected ? palette.color(QPalette::HighlightedText) : Style::accent(palette);
    const QColor text = selected ? palette.color(QPalette::HighlightedText) : Style::primary(palette);
    const qreal ratio = painter->device()->devicePixelRatioF();

    painter->save();
    const QRect row = option.rect;
    const auto state = index.data(Qt::CheckStateRole).value<Qt::CheckState>();
    const QRect box = checkBoxRect(row);
    painter->drawPixmap(box.topLeft(), Symbols::pixmap(checkSymbol(state), symbolSize,
                                                       state == Qt::Unchecked ? secondary : accent, ratio));
    const bool group = hasChildren(index);
    const QRect kind(box.right() + 1 + gap, box.top(), symbolSize, symbolSize);
    painter->drawPixmap(kind.topLeft(), Symbols::pixmap(group ? "folder.fill" : "music.note.list",
                                                        symbolSize, group ? secondary : accent, ratio));

    const QString count = index.data(CrateRole::trackCount).toString();
    const QFont countFont = Style::monospaced(Style::Text::caption2);
    const int countWidth = QFontMetrics(countFont).horizontalAdvance(count);
    const QRect countRect(row.right() - margin - countWidth, row.top(), countWidth, row.height());
    painter->setFont(countFont);
    painter->setPen(secondary);
    painter->drawText(countRect, Qt::AlignVCenter | Qt::AlignRight, count);
    if (const QRect badge = badgeRect(row, index); !badge.isNull()) {
        const QColor warning = selected ? palette.color(QPalette::HighlightedText) : Style::orange();
        painter->drawPixmap(badge.topLeft(),
                            Symbols::pixmap("exclamationmark.triangle.fill", symbolSize, warning, ratio));
    }

    const int textLeft = kind.right() + 1 + gap;
    const int textWidth = CrateRowDelegate::textWidth(row, index);
    const QFont nameFont = option.font;
    const QString path = pathLine(index);
    const QFont pathFont = Style::font(Style::Text::caption2);
    const int nameHeight = QFontMetrics(nameFont).height();
    const int pathHeight = path.isEmpty() ? 0 : QFontMetrics(pathFont).height();
    int top = row.top() + (row.height() - nameHeight - pathHeight) / 2;
    painter->setFont(nameFont);
    painter->setPen(text);
    painter->drawText(QRect(textLeft, top, textWidth, nameHeight), Qt::AlignVCenter | Qt::AlignLeft,
                      QFontMetrics(nameFont).elidedText(index.data().toString(), Qt::ElideRight, textWidth));
    if (!path.isEmpty()) {
        top += nameHeight;
        painter->setFont(pathFont);
        painter->setPen(secondary);
        painter->drawText(QRect(textLeft, top, textWidth, pathHeight), Qt::AlignVCenter | Qt::AlignLeft,
                          QFontMetrics(pathFont).elidedText(path, Qt::ElideMiddle, textWidth));
    }
    painter->restore();
}

QSize CrateRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    int height = QFontMetrics(option.font).height();
    if (!pathLine(index).isEmpty()) height += QFontMetrics(Style::font(Style::Text::caption2)).height();
    return {200, qMax(height, symbolSize) + 10};
}

bool CrateRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // Swallowed on the box, so a click there neither selects nor expands the row.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            return checkBoxRect(option.rect).contains(mouse->position().toPoint());
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint())) {
                return false;
            }
            if (!checkBoxRect(option.rect).contains(mouse->position().toPoint()) && hasChildren(index)) {
                return false;
            }
            toggle(model, index);
            return true;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
            toggle(model, index);
            return true;
        }
        default: return false;
    }
}

}  // namespace morrowdeck
