// A library written on a Mac names other drives by their mount point there.
#include "library/foreign_volumes.h"

#include <gtest/gtest.h>

namespace morrowdeck {
namespace {

TEST(ForeignVolumes, MacDrivePathsFindTheDriveMountedHere) {
    int reads = 0;
    ForeignVolumes volumes(
        [&reads] {
            ++reads;
            return ForeignVolumes::Mounted{{"USB", "/media/dj/USB"},
                                           {"Caf\u00E9", "/media/dj/CAFE"},
                                           {"Twin", "/media/dj/Twin"},
                                           {"Twin", "/mnt/Twin"},
                                           {"Here", "/media/dj/Here"}};
        },
        [](const std::string& folder) { return folder == "/Volumes/Here"; });
    const std::pair<std::string, std::string> cases[] = {
        {"/Volumes/USB/Music/a.mp3", "/media/dj/USB/Music/a.mp3"},
        {"/Volumes/Cafe\u0301/b.mp3", "/media/dj/CAFE/b.mp3"},  // stored decomposed
        {"/Volumes/Twin/c.mp3", "/Volumes/Twin/c.mp3"},         // two drives: neither is meant
        {"/Volumes/Here/d.mp3", "/Volumes/Here/d.mp3"},         // a Mac: the path is right
        {"/Volumes/Gone/e.mp3", "/Volumes/Gone/e.mp3"},         // not mounted here
        {"/Volumes/USB", "/Volumes/USB"},
        {"/Users/dj/Music/f.mp3", "/Users/dj/Music/f.mp3"},
    };
    for (const auto& [stored, here] : cases)
        EXPECT_EQ(volumes.map(stored), here) << stored;
    EXPECT_EQ(reads, 1);
}

}  // namespace
}  // namespace morrowdeck
