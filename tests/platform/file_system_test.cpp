#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/backend.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FileSystem, KindsOfPathsReadingAndListing) {
    test::TempDir dir;
    test::writeFile(dir / "a.crate", Bytes{0, 1, 2, 255});
    test::writeFile(dir / "._a.crate", "");
    test::writeFile(dir / ".DS_Store", "");
    std::filesystem::create_directory(dir / "folder.crate");
    std::vector<std::string> expected{"a.crate", "folder.crate"};
    if (test::makeFifo(dir / "pipe.crate")) {
        expected.push_back("pipe.crate");
        EXPECT_TRUE(fileExists(dir / "pipe.crate"));
        EXPECT_FALSE(isRegularFile(dir / "pipe.crate"));
        EXPECT_FALSE(readFile(dir / "pipe.crate"));  // must not block waiting for a writer
    }
    // Symbolic links where the system lets a test make them (not on Windows without a
    // privilege, nor under Wine).
    std::error_code noLinks;
    std::filesystem::create_symlink(dir / "a.crate", dir / "link.crate", noLinks);
    if (!noLinks)
        std::filesystem::create_directory_symlink(dir / "folder.crate", dir / "folder-link", noLinks);
    if (!noLinks) {
        expected.insert(expected.end(), {"folder-link", "link.crate"});
        EXPECT_TRUE(isRegularFile(dir / "link.crate"));
        EXPECT_FALSE(isRealDirectory(dir / "folder-link"));
        EXPECT_EQ(readFile(dir / "link.crate"), (Bytes{0, 1, 2, 255}));
    }

    EXPECT_TRUE(isDirectory(dir / "folder.crate") && isRealDirectory(dir / "folder.crate"));
    EXPECT_FALSE(fileExists(dir / "missing") || isDirectory(dir / "a.crate"));
    EXPECT_FALSE(isRegularFile(dir / "folder.crate") || isRealDirectory(dir / "a.crate"));
    EXPECT_EQ(readFile(dir / ".DS_Store"), Bytes{});
    EXPECT_FALSE(readFile(dir / "folder.crate"));
    EXPECT_FALSE(readFile(dir / "missing"));
    if (backend().readsMountInfo) {  // a /proc file: size 0 on stat, read all the same
        EXPECT_FALSE(readFile("/proc/self/mountinfo").value_or(Bytes{}).empty());
    }

    auto names = listDirectory(dir.path());  // hidden entries skipped
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(*names, expected);
    EXPECT_FALSE(listDirectory(dir / "missing") || listDirectory(dir / "a.crate"));

    std::filesystem::create_directory(dir / "empty");
    EXPECT_FALSE(removeEmptyFolder(dir / "a.crate") || removeEmptyFolder(dir.path()));
    EXPECT_TRUE(removeEmptyFolder(dir / "empty") && !fileExists(dir / "empty"));
}

}  // namespace
}  // namespace morrowdeck::platform
