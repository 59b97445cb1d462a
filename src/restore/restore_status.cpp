#include "restore/restore_status.h"

#include "engine/run_outcome.h"

namespace morrowdeck {

std::string restoreStatusMessage(const ProgressSnapshot& finalSnapshot, bool rebuildDatabase) {
    const RunOutcome outcome = RunOutcome::of(finalSnapshot);
    if (outcome.isCancelled()) return "Cancelled.";
    if (outcome.isSuccess()) {
        return rebuildDatabase
                   ? "Restore complete \u2014 just open Serato, your library is ready."
                   : "Restore complete \u2014 in Serato, 'Read Tags' on the restored crates.";
    }
    if (finalSnapshot.failedFiles >= 1) {
        return "Restore finished with " + std::to_string(finalSnapshot.failedFiles) + " error(s).";
    }
    if (finalSnapshot.damagedFiles >= 1) {
        return "Restore finished with " + std::to_string(finalSnapshot.damagedFiles) +
               " damaged file(s).";
    }
    return "Restore finished with " + std::to_string(finalSnapshot.missingFiles) +
           " file(s) missing from the backup.";
}

}  // namespace morrowdeck
