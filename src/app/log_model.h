#pragma once

#include <QAbstractListModel>

#include "engine/log_entry.h"

namespace morrowdeck {

class RunModel;

// The activity log as a list for the activity panel, one row per entry, oldest first. It
// follows the model's appends (removing the rows the cap dropped first) and clears, so a view
// can scroll to the newest row on every rowsInserted, also once the cap is reached.
class LogModel final : public QAbstractListModel {
    Q_OBJECT

  public:
    // Qt::DisplayRole is the message; this role the LogEntry::Level as an int.
    static constexpr int levelRole = Qt::UserRole + 1;

    explicit LogModel(const RunModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    void appended(std::size_t dropped);
    void cleared();

    const RunModel& model_;
    int rows_ = 0;  // the rows announced so far, which the model's log may already exceed
};

}  // namespace morrowdeck
