#include "platform/read_only_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>

#include "support/system.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ReadOnlyFile, ReadsInOrderAndAtOffsets) {
    test::TempDir dir;
    Bytes content(1000);
    std::iota(content.begin(), content.end(), std::uint8_t{0});
    test::writeFile(dir / "a.mp3", content);
    // Through a symbolic link where the system lets a test make one (not under Wine).
    std::error_code noLinks;
    std::filesystem::create_symlink(dir / "a.mp3", dir / "link.mp3", noLinks);

    ReadOnlyFile opened;
    ASSERT_EQ(opened.open(dir / (noLinks ? "a.mp3" : "link.mp3")), 0);
    ReadOnlyFile file = std::move(opened);  // the moved-from object holds nothing
    EXPECT_FALSE(opened.isOpen());
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.size(), 1000);
    file.adviseSequentialRead();

    // readAt keeps no position: the sequential reads still start at the front.
    Bytes piece(8);
    std::size_t got = 0;
    ASSERT_EQ(file.readAt(996, piece, got), 0);
    EXPECT_EQ(Bytes(piece.begin(), piece.begin() + static_cast<long>(got)),
              (Bytes{228, 229, 230, 231}));
    ASSERT_EQ(file.readAt(5000, piece, got), 0);
    EXPECT_EQ(got, 0u);

    Bytes all, buffer(300);
    for (;;) {
        ASSERT_EQ(file.read(buffer, got), 0);
        if (got == 0) break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
    }
    EXPECT_EQ(all, content);
}

TEST(ReadOnlyFile, RefusesWhatIsNotARegularFile) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder.mp3");
    std::error_code noLinks;
    std::filesystem::create_symlink(dir / "gone.mp3", dir / "dangling.mp3", noLinks);

    ReadOnlyFile file;
    EXPECT_EQ(file.open(dir / "folder.mp3"), EISDIR);
    if (test::makeFifo(dir / "pipe.mp3")) {
        EXPECT_EQ(file.open(dir / "pipe.mp3"), EINVAL);  // must not wait for a writer
    }
    EXPECT_EQ(file.open(dir / "missing.mp3"), ENOENT);
    if (!noLinks) {
        EXPECT_EQ(file.open(dir / "dangling.mp3"), ENOENT);
    }
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.size(), 0);

    Bytes buffer(4);
    std::size_t got = 1;
    EXPECT_EQ(file.read(buffer, got), EBADF);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(file.readAt(0, buffer, got), EBADF);
}

}  // namespace
}  // namespace morrowdeck::platform
