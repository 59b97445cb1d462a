// Which crates `backup --crate` hands to the engine, and the progress line's text.
#include "cli/crate_selection.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress_line.h"
#include "library/tree_builder.h"

namespace morrowdeck::cli {
namespace {

// Groups without a file: Genres, Sets, Fête. House has a file and a child.
std::vector<Crate::Ptr> forest() {
    TreeBuilder builder;
    for (const std::vector<std::string>& path :
         std::vector<std::vector<std::string>>{{"Genres", "House", "Deep"},
                                               {"Genres", "House"},
                                               {"Genres", "Techno"},
                                               {"Sets", "Warm-up"},
                                               {"Cafe\u0301"},
                                               {"F\u00eate", "\u00c9t\u00e9"},
                                               {"Solo"}})
        builder.insert(path, std::filesystem::path("/lib/x.crate"), false, {});
    return builder.sortedForest();
}

std::vector<std::string> joined(const std::vector<Crate::Ptr>& crates) {
    std::vector<std::string> out;
    for (const auto& crate : crates) {
        std::string path;
        for (const auto& component : crate->components)
            path += (path.empty() ? "" : "/") + component;
        out.push_back(path);
    }
    return out;
}

TEST(CrateSelection, SelectsFileCratesAtAndBelowOnceEachInForestOrder) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{},
         {"Cafe\u0301", "F\u00eate/\u00c9t\u00e9", "Genres/House", "Genres/House/Deep",
          "Genres/Techno", "Sets/Warm-up", "Solo"}},
        {{"Genres/House"}, {"Genres/House", "Genres/House/Deep"}},  // a crate with children
        {{"Genres"}, {"Genres/House", "Genres/House/Deep", "Genres/Techno"}},  // a group
        {{"Solo", "Genres/House/Deep", "Genres", "Genres/House", "Genres"},
         {"Genres/House", "Genres/House/Deep", "Genres/Techno", "Solo"}},
        {{"Caf\u00e9"}, {"Cafe\u0301"}},  // composed spelling of a decomposed name
        {{"Fe\u0302te/E\u0301te\u0301"}, {"F\u00eate/\u00c9t\u00e9"}},  // and the reverse
    };
    for (const auto& [paths, expected] : cases) {
        const auto selection = selectCrates(forest(), paths);
        EXPECT_FALSE(selection.unknownPath);
        EXPECT_EQ(joined(selection.crates), expected) << testing::PrintToString(paths);
    }
}

TEST(CrateSelection, UnknownPathSelectsNothing) {
    const auto crates = forest();
    for (const std::string path :
         {"Genres/Trance", "genres/house", "Genres/", "/Genres", "", "House", "Solo/More"}) {
        const auto selection = selectCrates(crates, {"Solo", path});
        EXPECT_EQ(selection.unknownPath, path);
        EXPECT_TRUE(selection.crates.empty()) << path;
    }
}

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
