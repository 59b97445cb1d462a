#pragma once

#include <QAbstractItemModel>
#include <vector>

#include "app/crate_roles.h"

namespace morrowdeck {

// The loaded crate forest as a tree for the sidebar's outline: one column, rows in the
// forest's order, check boxes bound to the model's selection (see crate_roles.h). Reset on
// every load; check states refresh whenever the selection changes.
class CrateTreeModel final : public QAbstractItemModel {
    Q_OBJECT

  public:
    explicit CrateTreeModel(SelectionModel& model, QObject* parent = nullptr);

    // The crate of an index of this model; null for the root.
    const Crate* crate(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    const std::vector<Crate::Ptr>& children(const QModelIndex& parent) const;
    QModelIndex indexOf(const Crate& crate) const;
    void checkStatesChanged(const QModelIndex& parent);

    SelectionModel& model_;
    // The forest shown; kept until the next reset begins, so indexes never outlive it.
    std::vector<Crate::Ptr> forest_;
};

}  // namespace morrowdeck
