#pragma once

#include <QAbstractListModel>
#include <vector>

#include "app/crate_roles.h"

namespace morrowdeck {

// The sidebar's search results: the leaves that match the model's search text, in the
// forest's order, with the same roles and check boxes as the crate tree. Reset when the
// search text or the forest changes.
class SearchResultsModel final : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit SearchResultsModel(SelectionModel& model, QObject* parent = nullptr);

    // The section title, "Results ({n})".
    QString title() const;

    const Crate* crate(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    void refresh();

    SelectionModel& model_;
    std::vector<Crate::Ptr> results_;
};

}  // namespace morrowdeck
