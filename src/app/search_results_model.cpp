#include "app/search_results_model.h"

#include "app/selection_model.h"

namespace morrowdeck {

SearchResultsModel::SearchResultsModel(SelectionModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model), results_(model.searchResults()) {
    connect(&model_, &SelectionModel::searchTextChanged, this, &SearchResultsModel::refresh);
    connect(&model_, &SelectionModel::forestChanged, this, &SearchResultsModel::refresh);
    connect(&model_, &SelectionModel::selectionChanged, this, [this] {
        if (!results_.empty())
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
    });
}

void SearchResultsModel::refresh() {
    beginResetModel();
    results_ = model_.searchResults();
    endResetModel();
}

QString SearchResultsModel::title() const {
    return QStringLiteral("Results (%1)").arg(rowCount());
}

const Crate* SearchResultsModel::crate(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return nullptr;
    return results_[static_cast<std::size_t>(index.row())].get();
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
    const Crate* crate = this->crate(index);
    return crate ? crateData(model_, *crate, role) : QVariant();
}

bool SearchResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const Crate* crate = this->crate(index);
    return crate && role == Qt::CheckStateRole && setCrateCheckState(model_, *crate, value);
}

Qt::ItemFlags SearchResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}

}  // namespace morrowdeck
