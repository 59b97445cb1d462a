#include "app/crate_tree_model.h"

#include <QStringList>

#include "app/selection_model.h"
#include "library/crate_index.h"

namespace morrowdeck {

QVariant crateData(const SelectionModel& model, const Crate& crate, int role) {
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(crate.name);
        case Qt::CheckStateRole:
            switch (model.state(crate)) {
                case CrateSelection::CheckState::checked:
                    return Qt::Checked;
                case CrateSelection::CheckState::mixed:
                    return Qt::PartiallyChecked;
                case CrateSelection::CheckState::unchecked:
                    return Qt::Unchecked;
            }
            return {};
        case CrateRole::trackCount:
            return static_cast<qint64>(crate.children.empty() ? crate.tracks.size()
                                                              : crate.totalTrackCount());
        case CrateRole::hasChildren:
            return !crate.children.empty();
        case CrateRole::path: {
            if (crate.components.size() < 2) return QString();
            QStringList parts;
            for (const auto& component : crate.components)
                parts << QString::fromStdString(component);
            return parts.join(QStringLiteral(" / "));
        }
        default:
            return {};
    }
}

bool setCrateCheckState(SelectionModel& model, const Crate& crate, const QVariant& value) {
    if (value.toInt() == crateData(model, crate, Qt::CheckStateRole).toInt()) return false;
    const auto before = model.state(crate);
    model.toggle(crate);
    return model.state(crate) != before;
}

CrateTreeModel::CrateTreeModel(SelectionModel& model, QObject* parent)
    : QAbstractItemModel(parent), model_(model), forest_(model.forest()) {
    connect(&model_, &SelectionModel::forestChanged, this, [this] {
        beginResetModel();
        forest_ = model_.forest();
        endResetModel();
    });
    connect(&model_, &SelectionModel::selectionChanged, this,
            [this] { rowsChanged({}, Qt::CheckStateRole); });
}

void CrateTreeModel::setMissingTracks(MissingTracks missing) {
    missing_ = std::move(missing);
    missingTracksChanged();
}

void CrateTreeModel::missingTracksChanged() {
    rowsChanged({}, CrateRole::missingTracks);
}

const Crate* CrateTreeModel::crate(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const Crate*>(index.internalPointer()) : nullptr;
}

const std::vector<Crate::Ptr>& CrateTreeModel::children(const QModelIndex& parent) const {
    const Crate* crate = this->crate(parent);
    return crate ? crate->children : forest_;
}

QModelIndex CrateTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) return {};
    return createIndex(row, column, const_cast<Crate*>(children(parent)[row].get()));
}

QModelIndex CrateTreeModel::indexOf(const Crate& crate) const {
    return createIndex(static_cast<int>(model_.selection().index().row(crate)), 0,
                       const_cast<Crate*>(&crate));
}

QModelIndex CrateTreeModel::parent(const QModelIndex& child) const {
    const Crate* crate = this->crate(child);
    if (!crate) return {};
    const Crate* parent = model_.selection().index().parent(*crate);
    return parent ? indexOf(*parent) : QModelIndex();
}

int CrateTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return static_cast<int>(children(parent).size());
}

int CrateTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant CrateTreeModel::data(const QModelIndex& index, int role) const {
    const Crate* crate = this->crate(index);
    if (!crate) return {};
    if (role == CrateRole::missingTracks)
        return static_cast<qint64>(missing_ ? missing_(*crate) : 0);
    return crateData(model_, *crate, role);
}

bool CrateTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const Crate* crate = this->crate(index);
    return crate && role == Qt::CheckStateRole && setCrateCheckState(model_, *crate, value);
}

Qt::ItemFlags CrateTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

// Every row's check state may change with one toggle (a leaf's change reaches its ancestors),
// so each parent's rows are refreshed as one range.
void CrateTreeModel::rowsChanged(const QModelIndex& parent, int role) {
    const int rows = rowCount(parent);
    if (rows == 0) return;
    emit dataChanged(index(0, 0, parent), index(rows - 1, 0, parent), {role});
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = index(row, 0, parent);
        if (!crate(child)->children.empty()) rowsChanged(child, role);
    }
}

}  // namespace morrowdeck
