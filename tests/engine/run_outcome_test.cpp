// How a finished run's counts decide its end line's level, success and exit status.
#include "engine/run_outcome.h"

#include <gtest/gtest.h>

namespace morrowdeck {
namespace {

using Kind = RunOutcome::Kind;
using Level = LogEntry::Level;

TEST(RunOutcome, FromTheCounts) {
    const struct {
        const char* name;
        std::int64_t failed, missing, damaged, other;
        bool cancelled;
        Kind kind;
        Level level;
        int exit;
    } cases[] = {
        {"all copied", 0, 0, 0, 0, false, Kind::success, Level::success, 0},
        {"a failed file", 1, 0, 0, 0, false, Kind::problems, Level::warning, 1},
        {"a missing file", 0, 3, 0, 0, false, Kind::problems, Level::warning, 1},
        {"a damaged file", 0, 0, 1, 0, false, Kind::problems, Level::warning, 1},
        {"a check's other finding", 0, 0, 0, 2, false, Kind::problems, Level::warning, 1},
        {"cancelled", 0, 0, 0, 0, true, Kind::cancelled, Level::warning, 130},
        {"cancelled with failures", 4, 1, 0, 0, true, Kind::cancelled, Level::warning, 130},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressSnapshot snap;
        snap.copiedFiles = 10;
        snap.failedFiles = c.failed;
        snap.missingFiles = c.missing;
        snap.damagedFiles = c.damaged;
        snap.otherFindings = c.other;
        snap.cancelled = c.cancelled;
        const auto outcome = RunOutcome::of(snap);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.isSuccess(), c.kind == Kind::success);
        EXPECT_EQ(outcome.level(), c.level);
        EXPECT_EQ(outcome.exitCode(), c.exit);
    }
}

}  // namespace
}  // namespace morrowdeck
