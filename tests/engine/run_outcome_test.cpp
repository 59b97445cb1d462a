// How a finished run's counts decide its end line's level, success and exit status, and how
// the space a plan needs allows for the destination's allocation unit.
#include "engine/run_outcome.h"

#include <gtest/gtest.h>

#include "engine/run_preview.h"

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

TEST(RunPreview, EachFileTakesWholeAllocationUnits) {
    const struct {
        std::int64_t bytes, unit, allocated;
    } sizes[] = {{0, 4096, 0},    {1, 4096, 4096}, {4096, 4096, 4096},  {4097, 4096, 8192},
                 {5000, 1, 5000}, {5000, 0, 5000}, {5000, 32768, 32768}};
    for (const auto& s : sizes)
        EXPECT_EQ(RunPreview::allocatedSize(s.bytes, s.unit), s.allocated)
            << s.bytes << " in units of " << s.unit;

    // 1,500 files of 5 KB are 7.5 MB, but take 12 MB in 4 KB units: they do not fit on 10 MB.
    RunPreview preview;
    preview.drive = "USB";
    preview.freeBytes = 10'000'000;
    preview.allocationUnit = 4096;
    auto& crate = preview.crates.emplace_back();
    for (int i = 0; i < 1500; ++i) {
        ++crate.filesToCopy;
        crate.bytesToCopy += 5000;
        crate.allocationSlack += RunPreview::allocatedSize(5000, 4096) - 5000;
    }
    EXPECT_EQ(preview.total().bytesToCopy, 7'500'000);  // what is shown stays the real size
    EXPECT_EQ(preview.neededBytes(), 12'288'000);
    EXPECT_FALSE(preview.fits());
    EXPECT_EQ(preview.notEnoughSpaceText(), "Not enough space on USB: 12.3 MB needed, 10 MB free.");
    crate.allocationSlack = 0;  // a preview that knows no unit weighs the bytes alone
    EXPECT_TRUE(preview.fits());
}

}  // namespace
}  // namespace morrowdeck
