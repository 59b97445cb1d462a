// Finding libraries in the home folder and at the root of mounted drives, from a mount table
// file written by the test and from a real tmpfs mount.
#include "library/library_finder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "library/crate_writer.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;

// One mountinfo line; libmount undoes the octal escape of the space.
std::string mountLine(int id, const fs::path& point, const std::string& type) {
    std::string escaped;
    for (const char c : point.native())
        escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    return std::to_string(id) + " 1 8:" + std::to_string(id) + " / " + escaped +
           " rw,relatime shared:1 - " + type + " /dev/fake" + std::to_string(id) + " rw\n";
}

// A library of two crate files (one below a group) and three database records.
void makeLibrary(const fs::path& parent) {
    const fs::path library = parent / "_Serato_";
    test::writeFile(library / "Subcrates" / "A.crate", CrateWriter::crateData({"Music/a.mp3"}));
    test::writeFile(library / "Subcrates" / "B%%C.crate", CrateWriter::crateData({}));
    test::writeFile(library / "database V2",
                    std::string("otrk\0\0\0\0otrk\0\0\0\0otrk\0\0\0\0", 24));
}

TEST(LibraryFinder, HomeAndDriveRootsFromTheMountTable) {
    test::TempDir dir;
    const fs::path media = dir / "media" / "dj";
    for (const fs::path& parent :
         {dir / "home" / "Music", media / "USB STICK", dir / "mnt" / "Party", dir / "elsewhere"})
        makeLibrary(parent);
    fs::create_directories(media / "Empty");
    std::ofstream(dir / "mountinfo")
        << mountLine(1, "/", "ext4") << mountLine(2, media / "USB STICK", "ext4")
        << mountLine(3, media / "USB STICK", "vfat")  // stacked
        << mountLine(4, media / "Empty", "ext4") << mountLine(5, dir / "mnt" / "Party", "exfat")
        << mountLine(6, dir / "elsewhere", "ext4");

    const auto found = LibraryFinder::find(
        {dir / "home", dir / "mountinfo", {media, dir / "mnt", dir / "nothing"}});
    ASSERT_EQ(found.size(), 3u);
    const struct {
        fs::path folder;
        std::string drive, type;
        bool onDrive, hardLinks;
    } expected[] = {
        {dir / "home" / "Music" / "_Serato_", "This computer", "ext4", false, true},
        {media / "USB STICK" / "_Serato_", "USB STICK", "vfat", true, false},
        {dir / "mnt" / "Party" / "_Serato_", "Party", "exfat", true, false},
    };
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].folder, expected[i].folder);
        EXPECT_EQ(found[i].drive, expected[i].drive) << i;
        EXPECT_EQ(found[i].fileSystem, expected[i].type) << i;
        EXPECT_EQ(found[i].onDrive, expected[i].onDrive) << i;
        EXPECT_EQ(found[i].hardLinks, expected[i].hardLinks) << i;
        EXPECT_EQ(found[i].crates, 2u);
        EXPECT_EQ(found[i].tracks, 3u);
    }
}

TEST(LibraryFinder, MountedTmpfsDrive) {
    test::TempDir dir;
    const fs::path media = dir / "media";
    test::TmpfsMount drive(media / "GIG", "size=4m");
    if (!drive.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    makeLibrary(media / "GIG");
    const auto found = LibraryFinder::find({dir / "home", "/proc/self/mountinfo", {media}});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].drive, "GIG");
    EXPECT_EQ(found[0].fileSystem, "tmpfs");
    EXPECT_EQ(found[0].mountPoint, media / "GIG");
    EXPECT_EQ(found[0].crates, 2u);
}

}  // namespace
}  // namespace morrowdeck
