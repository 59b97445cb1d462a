#include "restore/restore_status.h"

namespace morrowdeck {

std::string restoreStatusMessage(const ProgressSnapshot& finalSnapshot, bool rebuildDatabase) {
    if (finalSnapshot.cancelled) return "Cancelled.";
    if (finalSnapshot.failedFiles >= 1) {
        return "Restore finished with " + std::to_string(finalSnapshot.failedFiles) + " error(s).";
    }
    if (finalSnapshot.damagedFiles >= 1) {
        return "Restore finished with " + std::to_string(finalSnapshot.damagedFiles) +
               " damaged file(s).";
    }
    if (finalSnapshot.missingFiles >= 1) {
        return "Restore finished with " + std::to_string(finalSnapshot.missingFiles) +
               " file(s) missing from the backup.";
    }
    return rebuildDatabase
               ? "Restore complete \u2014 just open Serato, your library is ready."
               : "Restore complete \u2014 in Serato, 'Read Tags' on the restored crates.";
}

}  // namespace morrowdeck
