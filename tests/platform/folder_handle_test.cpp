#include "platform/folder_handle.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/system.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

using Follow = SymbolicLinks;

TEST(FolderHandle, TellsWhatEachNameHolds) {
    test::TempDir dir;
    test::writeFile(dir / "a.mp3", "12345");
    std::filesystem::create_hard_link(dir / "a.mp3", dir / "hard.mp3");
    std::filesystem::create_directory(dir / "folder.mp3");
    // Symbolic links where the system lets a test make them (not under Wine), and a FIFO
    // where there are FIFOs.
    std::error_code noLinks;
    std::filesystem::create_symlink(dir / "a.mp3", dir / "link.mp3", noLinks);
    if (!noLinks) std::filesystem::create_symlink(dir / "gone.mp3", dir / "dangling.mp3", noLinks);
    const bool links = !noLinks;
    const bool fifo = test::makeFifo(dir / "pipe.mp3");

    FolderHandle opened;
    ASSERT_EQ(opened.open(dir.path()), 0);
    const FolderHandle folder = std::move(opened);
    EXPECT_FALSE(opened.isOpen());
    ASSERT_TRUE(folder.isOpen());

    EntryStatus a, link, linked, entry;
    ASSERT_EQ(folder.status("a.mp3", Follow::noFollow, a), 0);
    EXPECT_EQ(a.kind, EntryKind::regular);
    EXPECT_EQ(a.size, 5);
    EXPECT_EQ(a.links, 2u);
    EXPECT_NE(a.mtime, FileTime{});

    if (links) {
        // The link itself, and through it the file it names.
        ASSERT_EQ(folder.status("link.mp3", Follow::noFollow, link), 0);
        EXPECT_EQ(link.kind, EntryKind::symbolicLink);
        ASSERT_EQ(folder.status("link.mp3", Follow::follow, linked), 0);
        EXPECT_EQ(linked.kind, EntryKind::regular);
        EXPECT_TRUE(sameItem(linked, a));
        EXPECT_FALSE(sameItem(link, a));

        // A link that leads nowhere is there as a link and nothing beyond it.
        EXPECT_EQ(folder.status("dangling.mp3", Follow::noFollow, entry), 0);
        EXPECT_EQ(entry.kind, EntryKind::symbolicLink);
        EXPECT_EQ(folder.status("dangling.mp3", Follow::follow, entry), ENOENT);
        EXPECT_EQ(entry.kind, EntryKind::nothing);
        EXPECT_EQ(itemStatus(dir / "dangling.mp3", Follow::follow, entry), ENOENT);
        EXPECT_EQ(itemStatus(dir / "dangling.mp3", Follow::noFollow, entry), 0);
    }

    EXPECT_EQ(folder.status("folder.mp3", Follow::follow, entry), 0);
    EXPECT_EQ(entry.kind, EntryKind::folder);
    if (fifo) {
        EXPECT_EQ(folder.status("pipe.mp3", Follow::follow, entry), 0);  // never waits
        EXPECT_EQ(entry.kind, EntryKind::other);
    }
    EXPECT_EQ(folder.status("missing.mp3", Follow::noFollow, entry), ENOENT);
    EXPECT_EQ(entry.kind, EntryKind::nothing);
    EXPECT_FALSE(sameItem(entry, entry));

    // The same answers for a full path.
    EXPECT_EQ(itemStatus(dir / "hard.mp3", Follow::noFollow, entry), 0);
    EXPECT_TRUE(sameItem(entry, a));
}

TEST(FolderHandle, FailsOnWhatIsNoFolder) {
    test::TempDir dir;
    test::writeFile(dir / "a.mp3", "x");
    FolderHandle folder;
    EXPECT_EQ(folder.open(dir / "a.mp3"), ENOTDIR);
    EXPECT_EQ(folder.open(dir / "missing"), ENOENT);
    EXPECT_FALSE(folder.isOpen());
    EntryStatus entry;
    entry.kind = EntryKind::regular;
    EXPECT_EQ(folder.status("a.mp3", Follow::follow, entry), EBADF);
    EXPECT_EQ(entry.kind, EntryKind::nothing);
}

}  // namespace
}  // namespace morrowdeck::platform
