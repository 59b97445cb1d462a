#pragma once

#include <QAbstractItemModel>
#include <cstdint>
#include <functional>
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

    // Where the missing-tracks role reads its counts (none: 0 for every crate).
    using MissingTracks = std::function<std::int64_t(const Crate&)>;
    void setMissingTracks(MissingTracks missing);
    // The counts setMissingTracks reads have changed: every row's badge is drawn again.
    void missingTracksChanged();

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
    // Signals a change of `role` for every row below `parent`, one range per parent.
    void rowsChanged(const QModelIndex& parent, int role);

    SelectionModel& model_;
    // The forest shown; kept until the next reset begins, so indexes never outlive it.
    std::vector<Crate::Ptr> forest_;
    MissingTracks missing_;
};

}  // namespace morrowdeck
