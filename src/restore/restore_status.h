#pragma once

#include <string>

#include "engine/progress_snapshot.h"

namespace morrowdeck {

// The one-line status a finished restore run ends with: cancelled, finished with errors, with
// damaged files or with files missing from the backup, or complete (worded by whether the
// database was rebuilt).
std::string restoreStatusMessage(const ProgressSnapshot& finalSnapshot, bool rebuildDatabase);

}  // namespace morrowdeck
