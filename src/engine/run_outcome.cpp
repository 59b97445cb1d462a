#include "engine/run_outcome.h"

namespace morrowdeck {

RunOutcome RunOutcome::of(const ProgressSnapshot& snapshot) {
    if (snapshot.cancelled) return {Kind::cancelled};
    const bool problems = snapshot.failedFiles > 0 || snapshot.missingFiles > 0 ||
                          snapshot.damagedFiles > 0 || snapshot.otherFindings > 0;
    return {problems ? Kind::problems : Kind::success};
}

LogEntry::Level RunOutcome::level() const {
    return isSuccess() ? LogEntry::Level::success : LogEntry::Level::warning;
}

int RunOutcome::exitCode() const {
    switch (kind) {
        case Kind::success:
            return exitOk;
        case Kind::problems:
            return exitProblems;
        case Kind::cancelled:
            return exitCancelled;
    }
    return exitProblems;
}

}  // namespace morrowdeck
