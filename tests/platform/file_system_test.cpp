#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

using test::TempDir;

TEST(FileSystem, KindsOfPaths) {
    TempDir dir;
    test::writeFile(dir / "a.crate", "x");
    std::filesystem::create_directory(dir / "folder.crate");
    ASSERT_EQ(::mkfifo((dir / "pipe.crate").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "a.crate", dir / "link.crate");

    EXPECT_TRUE(fileExists(dir / "a.crate"));
    EXPECT_FALSE(fileExists(dir / "missing"));
    EXPECT_TRUE(isDirectory(dir / "folder.crate"));
    EXPECT_FALSE(isDirectory(dir / "a.crate"));
    EXPECT_TRUE(isRegularFile(dir / "a.crate"));
    EXPECT_TRUE(isRegularFile(dir / "link.crate"));
    EXPECT_FALSE(isRegularFile(dir / "pipe.crate"));
    EXPECT_FALSE(isRegularFile(dir / "folder.crate"));
}

TEST(FileSystem, ListingSkipsHiddenEntries) {
    TempDir dir;
    test::writeFile(dir / "House.crate", "");
    test::writeFile(dir / "._House.crate", "");
    test::writeFile(dir / ".DS_Store", "");
    std::filesystem::create_directory(dir / "sub");

    auto names = listDirectory(dir.path());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"House.crate", "sub"}));
    EXPECT_FALSE(listDirectory(dir / "missing"));
    EXPECT_FALSE(listDirectory(dir / "House.crate"));
}

TEST(FileSystem, ReadFileRefusesWhatIsNotARegularFile) {
    TempDir dir;
    const std::vector<std::uint8_t> bytes{0, 1, 2, 255};
    test::writeFile(dir / "data", bytes);
    test::writeFile(dir / "empty", "");
    std::filesystem::create_directory(dir / "folder.crate");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);

    EXPECT_EQ(readFile(dir / "data"), bytes);
    EXPECT_EQ(readFile(dir / "empty"), std::vector<std::uint8_t>{});
    EXPECT_FALSE(readFile(dir / "folder.crate"));
    EXPECT_FALSE(readFile(dir / "pipe"));  // must not block waiting for a writer
    EXPECT_FALSE(readFile(dir / "missing"));
}

TEST(FileSystem, ReadFileOfUnreadableFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files regardless of permissions";
    TempDir dir;
    test::writeFile(dir / "locked", "secret");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
    EXPECT_FALSE(readFile(dir / "locked"));
}

TEST(FileSystem, ReadsProcFilesThatReportZeroSize) {
    const auto mountinfo = readFile("/proc/self/mountinfo");
    ASSERT_TRUE(mountinfo);
    EXPECT_FALSE(mountinfo->empty());
}

}  // namespace
}  // namespace morrowdeck::platform
