#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

TEST(FileSystem, KindsOfPathsAndWhatReadFileRefuses) {
    TempDir dir;
    test::writeFile(dir / "a.crate", Bytes{0, 1, 2, 255});
    test::writeFile(dir / "empty", "");
    std::filesystem::create_directory(dir / "folder.crate");
    ASSERT_EQ(::mkfifo((dir / "pipe.crate").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "a.crate", dir / "link.crate");

    EXPECT_TRUE(fileExists(dir / "a.crate"));
    EXPECT_FALSE(fileExists(dir / "missing"));
    EXPECT_TRUE(isDirectory(dir / "folder.crate"));
    EXPECT_FALSE(isDirectory(dir / "a.crate"));
    EXPECT_TRUE(isRegularFile(dir / "link.crate"));
    EXPECT_FALSE(isRegularFile(dir / "pipe.crate"));
    EXPECT_FALSE(isRegularFile(dir / "folder.crate"));

    EXPECT_EQ(readFile(dir / "link.crate"), (Bytes{0, 1, 2, 255}));
    EXPECT_EQ(readFile(dir / "empty"), Bytes{});
    EXPECT_FALSE(readFile(dir / "folder.crate"));
    EXPECT_FALSE(readFile(dir / "pipe.crate"));  // must not block waiting for a writer
    EXPECT_FALSE(readFile(dir / "missing"));
    // Files that report size 0 but have content.
    EXPECT_FALSE(readFile("/proc/self/mountinfo").value_or(Bytes{}).empty());
    if (::geteuid() != 0) {  // root reads files regardless of permissions
        std::filesystem::permissions(dir / "a.crate", std::filesystem::perms::none);
        EXPECT_FALSE(readFile(dir / "a.crate"));
    }
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

}  // namespace
}  // namespace morrowdeck::platform
