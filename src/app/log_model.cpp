#include "app/log_model.h"

#include "app/run_model.h"

namespace morrowdeck {

LogModel::LogModel(const RunModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model), rows_(static_cast<int>(model.log().size())) {
    connect(&model_, &RunModel::logAppended, this, &LogModel::appended);
    connect(&model_, &RunModel::logCleared, this, &LogModel::cleared);
}

void LogModel::appended(std::size_t dropped) {
    if (dropped > 0) {
        beginRemoveRows({}, 0, static_cast<int>(dropped) - 1);
        rows_ -= static_cast<int>(dropped);
        endRemoveRows();
    }
    beginInsertRows({}, rows_, rows_);
    ++rows_;
    endInsertRows();
}

void LogModel::cleared() {
    beginResetModel();
    rows_ = static_cast<int>(model_.log().size());
    endResetModel();
}

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const auto& log = model_.log();
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= log.size()) return {};
    const LogEntry& entry = log[row];
    if (role == Qt::DisplayRole) return QString::fromStdString(entry.message);
    if (role == levelRole) return static_cast<int>(entry.level);
    return {};
}

}  // namespace morrowdeck
