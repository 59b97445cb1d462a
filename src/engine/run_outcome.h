#pragma once

#include "engine/log_entry.h"
#include "engine/progress_snapshot.h"

namespace morrowdeck {

// How a run that passed its start checks ended, read from its final counts alone: the level
// of its end line, whether a status may call it a success, and the command line's exit
// status. The backup, the restore, the check of a backup, the command line and the window
// models all take these from here, so none can call a run with failed, missing or damaged
// files a success.
struct RunOutcome {
    enum class Kind {
        success,   // nothing failed, missing, damaged or otherwise found
        problems,  // finished, but with something to look at
        cancelled
    };

    static constexpr int exitOk = 0;
    static constexpr int exitProblems = 1;
    static constexpr int exitCancelled = 130;

    Kind kind = Kind::success;

    static RunOutcome of(const ProgressSnapshot& snapshot);

    bool isSuccess() const { return kind == Kind::success; }
    bool isCancelled() const { return kind == Kind::cancelled; }
    // success for a success; a cancelled run or one with problems ends on a warning.
    LogEntry::Level level() const;
    int exitCode() const;
};

}  // namespace morrowdeck
