#pragma once

#include <QVariant>

#include "library/crate.h"

namespace morrowdeck {

class SelectionModel;

// The item-data roles of the crate tree and the search results, beyond Qt::DisplayRole (the
// crate's name) and Qt::CheckStateRole (its tri-state; Qt::PartiallyChecked for mixed).
namespace CrateRole {
enum : int {
    trackCount = Qt::UserRole + 1,  // qint64: own tracks when childless, else the total below
    hasChildren,                    // bool
    path,                           // QString: "Genres / House / Deep", "" under two components
    missingTracks,  // qint64: tracks not found, counted like trackCount (crate tree; 0 unknown)
};
}

// One crate's value for a role, read from the model.
QVariant crateData(const SelectionModel& model, const Crate& crate, int role);

// A check-box click delivered as setData(CheckStateRole): toggles the crate once when the
// requested state differs from the current one. True when the selection changed.
bool setCrateCheckState(SelectionModel& model, const Crate& crate, const QVariant& value);

}  // namespace morrowdeck
