#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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
    ASSERT_EQ(::mkfifo((dir / "pipe.crate").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "a.crate", dir / "link.crate");

    EXPECT_TRUE(fileExists(dir / "pipe.crate") && isDirectory(dir / "folder.crate"));
    EXPECT_FALSE(fileExists(dir / "missing") || isDirectory(dir / "a.crate"));
    EXPECT_TRUE(isRegularFile(dir / "link.crate"));
    EXPECT_FALSE(isRegularFile(dir / "pipe.crate") || isRegularFile(dir / "folder.crate"));
    std::filesystem::create_directory_symlink(dir / "folder.crate", dir / "folder-link");
    EXPECT_TRUE(isRealDirectory(dir / "folder.crate"));
    EXPECT_FALSE(isRealDirectory(dir / "folder-link") || isRealDirectory(dir / "a.crate"));

    EXPECT_EQ(readFile(dir / "link.crate"), (Bytes{0, 1, 2, 255}));
    EXPECT_EQ(readFile(dir / ".DS_Store"), Bytes{});
    EXPECT_FALSE(readFile(dir / "folder.crate"));
    EXPECT_FALSE(readFile(dir / "pipe.crate"));  // must not block waiting for a writer
    EXPECT_FALSE(readFile(dir / "missing"));
    EXPECT_FALSE(readFile("/proc/self/mountinfo").value_or(Bytes{}).empty());  // size 0 on stat

    auto names = listDirectory(dir.path());  // hidden entries skipped
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"a.crate", "folder-link", "folder.crate",
                                                "link.crate", "pipe.crate"}));
    EXPECT_FALSE(listDirectory(dir / "missing") || listDirectory(dir / "a.crate"));

    std::filesystem::create_directory(dir / "empty");
    EXPECT_FALSE(removeEmptyFolder(dir / "a.crate") || removeEmptyFolder(dir.path()));
    EXPECT_TRUE(removeEmptyFolder(dir / "empty") && !fileExists(dir / "empty"));
}

}  // namespace
}  // namespace morrowdeck::platform
