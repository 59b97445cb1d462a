#pragma once

#include <QStyledItemDelegate>

namespace morrowdeck {

// One activity line: the level's symbol in its colour, then the message in a monospaced font
// (red for errors). No time stamp.
class LogRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace morrowdeck
