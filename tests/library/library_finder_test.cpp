// Finding libraries in the home folder and at the root of mounted drives, from a mount table
// file written by the test and from a real tmpfs mount.
#include "library/library_finder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "library/crate_writer.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/backend.h"
#include "support/loop_drive.h"
#include "support/master_database_fixture.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;

// One mount table line in the format the backend reads (mountinfo for libmount, mtab for the
// generic one); both escape a space as octal.
std::string mountLine(int id, const fs::path& point, const std::string& type) {
    std::string escaped;
    for (const char c : test::text(point))
        escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    const std::string device = "/dev/fake" + std::to_string(id);
    if (!platform::backend().readsMountInfo)
        return device + " " + escaped + " " + type + " rw 0 0\n";
    return std::to_string(id) + " 1 8:" + std::to_string(id) + " / " + escaped +
           " rw,relatime shared:1 - " + type + " " + device + " rw\n";
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
    if (platform::backend().name == "windows")
        GTEST_SKIP() << "Windows lists its drive letters, not a mount table file a test can write";
    test::TempDir dir;
    const fs::path media = dir / "media" / "dj";
    for (const fs::path& parent :
         {dir / "home" / "Music", media / "USB STICK", dir / "mnt" / "Party", dir / "elsewhere"})
        makeLibrary(parent);
    fs::create_directories(media / "Empty");
    {
        // Serato's database under the home folder adds a crate on the libraries' volume.
        const fs::path master = SeratoFolder::masterDatabase(dir / "home");
        fs::create_directories(master.parent_path());
        test::MasterDatabaseFixture db(master);
        const std::string volume = SeratoLibrary::volumeMountPrefix(dir.path());
        const auto crate = db.addCrate("Only in the database");
        db.addEntry(crate, db.addAsset(db.addVolume(volume.empty() ? "/" : volume), "a.mp3"), 1);
    }
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
        EXPECT_EQ(found[i].crates, 3u);
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

// A database too large to read (sparse: nothing is allocated for it) counts no tracks and is
// named in the library's warnings; its crates still count.
TEST(LibraryFinder, OversizedDatabaseIsNamedNotRead) {
    test::TempDir dir;
    makeLibrary(dir / "home" / "Music");
    const fs::path database = dir / "home" / "Music" / "_Serato_" / "database V2";
    test::writeSparseFile(database, 8ull << 30);
    const auto found = LibraryFinder::find({dir / "home", dir / "no mount table", {}});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].crates, 2u);
    EXPECT_EQ(found[0].tracks, 0u);
    EXPECT_EQ(
        found[0].warnings,
        std::vector<std::string>{"Couldn't read Serato's track database " + test::text(database) +
                                 " (it is larger than the 500 MB such a file can be); its "
                                 "tracks are not counted."});
}

// A labelled drive mounted where the desktop mounts a plugged-in drive, /media/<user>/<label>;
// the user is a name of this test's own, so no other test's search of the drive folders
// finds it.
TEST(LibraryFinder, LabelledDriveUnderMedia) {
    test::TempDir dir;
    const std::string user = test::text(dir.path().filename());
    test::LoopDrive drive(dir / "drive.img", "DJ-USB");
    const fs::path media = fs::path("/media") / user;
    if (drive.skipReason().empty()) drive.mount(media / "DJ-USB", media);
    if (!drive.skipReason().empty()) GTEST_SKIP() << drive.skipReason();
    makeLibrary(media / "DJ-USB");
    const LibraryFinder::Places places{dir / "home", "/proc/self/mountinfo", {media}};
    // First in a child process: a crash there fails the test and leaves this process to undo
    // the mount.
    ASSERT_EXIT((LibraryFinder::find(places), std::exit(0)), testing::ExitedWithCode(0), "");
    const auto found = LibraryFinder::find(places);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].drive, "DJ-USB");
    EXPECT_EQ(found[0].fileSystem, "ext4");
    EXPECT_EQ(found[0].tracks, 3u);
}

}  // namespace
}  // namespace morrowdeck
