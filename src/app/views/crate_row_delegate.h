#pragma once

#include <QStyledItemDelegate>

namespace morrowdeck {

// Draws one crate row of the sidebar: the tri-state check box, the kind symbol (a folder for a
// crate with children, a note list otherwise), the name, the path under it when `showPath`
// (search results), the track count on the right and, before it, a warning badge when the
// crate has tracks not found (its tooltip says how many). A click on the box, or anywhere on the
// row of a crate without children, toggles the crate exactly once, as does Space.
//
// Reads from the index: Qt::DisplayRole (name), Qt::CheckStateRole, and the crate models'
// count, has-children, path and missing-tracks roles.
class CrateRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
  public:
    CrateRowDelegate(bool showPath, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the check box sits inside a row's rectangle.
    static QRect checkBoxRect(const QRect& row);
    // Where the warning badge of a crate with tracks not found sits; null without one.
    static QRect badgeRect(const QRect& row, const QModelIndex& index);
    // The badge's tooltip line: "3 tracks missing".
    static QString missingText(qint64 missing);

    // A row whose name or path does not fit shows both in full as its tooltip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

  private:
    QString pathLine(const QModelIndex& index) const;
    QString fullPath(const QModelIndex& index) const;
    static int textWidth(const QRect& row, const QModelIndex& index);

    bool showPath_;
};

}  // namespace morrowdeck
