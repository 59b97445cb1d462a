// The progress line's text and how it redraws on a terminal.
#include "cli/progress_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace morrowdeck::cli {
namespace {

TEST(ProgressText, PhaseThenCountsThenTimeLeft) {
    ProgressSnapshot snap;
    snap.phase = "Scanning crates\u2026";
    EXPECT_EQ(progressText(snap), "Scanning crates\u2026");  // nothing counted yet
    snap.totalFiles = 200;
    snap.completedFiles = 50;
    snap.processedBytes = 1'000'000;
    snap.skippedBytes = 500'000;
    snap.bytesToCopy = 3'000'000;
    snap.bytesPerSecond = 500'000;
    EXPECT_EQ(progressText(snap), "25%  50/200 files  1.5 MB of 3 MB  500 KB/s  3s left");
    snap.bytesPerSecond = 1000;  // only up-to-date files so far: no estimate
    EXPECT_EQ(progressText(snap), "25%  50/200 files  1.5 MB of 3 MB  1 KB/s");
    snap.processedBytes = 3'000'000;  // sources grew after planning: never a negative time
    snap.bytesPerSecond = 2'000'000;
    EXPECT_EQ(progressText(snap), "25%  50/200 files  3.5 MB of 3 MB  2 MB/s  0s left");
}

TEST(ProgressLine, RedrawsInPlaceWithoutWrappingAndOnlyWhenEnabled) {
    ProgressSnapshot snap;
    snap.phase = "Copying\u2026";  // cut at 8 bytes would split the ellipsis
    std::ostringstream off, on;
    ProgressLine disabled(off, false, 80), line(on, true, 9);
    for (ProgressLine* progress : {&disabled, &line}) {
        progress->clear();  // nothing shown yet: nothing to erase
        progress->show(snap);
        progress->clear();
        progress->clear();
    }
    EXPECT_EQ(off.str(), "");
    EXPECT_EQ(on.str(), "\rCopying\x1b[K\r\x1b[K");
}

}  // namespace
}  // namespace morrowdeck::cli
