#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/backend.h"
#include "platform/home_folder.h"
#include "platform/mount_table.h"
#include "platform/path_text.h"
#include "support/loop_drive.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

TEST(MountPoint, LongestContainingMountPointOfAMountTable) {
    if (backend().name == "windows") GTEST_SKIP() << "Windows lists drives, it reads no mount table";
    test::TempDir dir;
    // libmount undoes mountinfo's octal escapes (\040 space, \134 backslash); the generic
    // backend reads the mtab format, which escapes the same way.
    const bool mountinfo = backend().readsMountInfo;
    std::ofstream(dir / "table")
        << (mountinfo ? "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                        "30 22 0:26 / /home rw,relatime shared:2 - ext4 /dev/sda2 rw\n"
                        "40 22 8:17 / /media/dj/DJ\\040Drive rw,nosuid - exfat /dev/sdb1 rw\n"
                        "41 22 8:33 / /media/dj/DJ rw,nosuid - vfat /dev/sdc1 rw\n"
                        "42 22 8:49 / /media/dj/Back\\134slash rw - vfat /dev/sdd1 rw\n"
                        "50 22 0:40 / /mnt/stack rw - tmpfs tmpfs rw\n"
                        "51 50 0:41 / /mnt/stack rw - ext4 /dev/sde1 rw\n"
                      : "/dev/sda1 / ext4 rw 0 0\n"
                        "/dev/sda2 /home ext4 rw 0 0\n"
                        "/dev/sdb1 /media/dj/DJ\\040Drive exfat rw 0 0\n"
                        "/dev/sdc1 /media/dj/DJ vfat rw 0 0\n"
                        "/dev/sdd1 /media/dj/Back\\134slash vfat rw 0 0\n"
                        "tmpfs /mnt/stack tmpfs rw 0 0\n"
                        "/dev/sde1 /mnt/stack ext4 rw 0 0\n");
    const auto mounts = readMountTable(dir / "table");
    ASSERT_EQ(mounts.size(), 7u);
    EXPECT_EQ(mounts[2].mountPoint, "/media/dj/DJ Drive");
    EXPECT_EQ(mounts[2].type, "exfat");
    EXPECT_EQ(mounts[2].source, "/dev/sdb1");
    const std::pair<const char*, const char*> cases[] = {
        {"/", "/"},
        {"/home/dj/Music/_Serato_", "/home"},
        {"/homework", "/"},  // a prefix that is not a component boundary
        {"/media/dj/DJ Drive/_Serato_", "/media/dj/DJ Drive"},
        {"/media/dj/DJ", "/media/dj/DJ"},
        {"/media/dj/DJX", "/"},
        {"/media/dj/Back\\slash/a", "/media/dj/Back\\slash"},
        {"/mnt/stack/x", "/mnt/stack"},
    };
    for (const auto& [path, expected] : cases) {
        const Mount* mount = mountContaining(mounts, path);
        ASSERT_NE(mount, nullptr) << path;
        EXPECT_EQ(mount->mountPoint, expected) << path;
    }
    // The later of two mounts stacked on one point is the one in use.
    EXPECT_EQ(mountContaining(mounts, "/mnt/stack/x")->type, "ext4");
    EXPECT_EQ(mountContaining({}, "/home"), nullptr);
    EXPECT_TRUE(readMountTable(dir / "no such table").empty());
}

// Windows names its volumes by drive letter, and network shares by UNC path.
TEST(MountPoint, DriveLettersAndSharesAreVolumes) {
    const std::vector<Mount> drives{{"C:/", "C:/", "ntfs"}, {"D:/", "D:/", "exfat"}};
    EXPECT_EQ(mountContaining(drives, "D:/_Serato_/database V2")->mountPoint, "D:/");
    EXPECT_EQ(mountContaining(drives, "C:/Users/dj/Music")->mountPoint, "C:/");
    EXPECT_EQ(mountContaining(drives, "D:/")->mountPoint, "D:/");
    EXPECT_EQ(mountContaining(drives, "E:/Music"), nullptr);
    EXPECT_TRUE(lacksHardLinks("fat32"));
    EXPECT_FALSE(lacksHardLinks("ntfs"));

    EXPECT_EQ(networkShare("//nas/music/Crates/a.mp3"), "//nas/music");
    EXPECT_EQ(networkShare("//nas/music"), "//nas/music");
    for (const char* notAShare : {"//nas", "///music/a", "/media/dj/x", "C:/Music", "//"})
        EXPECT_EQ(networkShare(notAShare), "") << notAShare;
}

TEST(VolumeMountPoint, RealPathsResolveToAMountOrRoot) {
    test::TempDir dir;
    const std::string mount = volumeMountPoint(dir.path());
    EXPECT_EQ(toUtf8(dir.path()).rfind(mount, 0), 0u) << mount;  // "" or an ancestor
    // A path that does not exist yet resolves like its nearest existing ancestor.
    EXPECT_EQ(volumeMountPoint(dir / "not" / "yet" / "there"), mount);
    if (!backend().readsMountInfo) return;  // Linux's own mounts below
    EXPECT_EQ(volumeMountPoint("/"), "");
    EXPECT_EQ(volumeMountPoint("/proc/self"), "/proc");
}

// The label is read from libmount's device cache, which owns the text it hands out: asking
// twice reads it twice and frees nothing of the cache's. It is read in a child process first,
// so that a crash fails the test and leaves this process to detach the device.
TEST(VolumeLabel, LabelOfAnExt4DriveOnALoopDevice) {
    if (!backend().readsVolumeLabels) GTEST_SKIP() << "the posix backend reads no labels";
    test::TempDir dir;
    test::LoopDrive drive(dir / "drive.img", "GIG BAG");
    if (!drive.skipReason().empty()) GTEST_SKIP() << drive.skipReason();
    ASSERT_EXIT((volumeLabel(drive.device()), std::exit(0)), testing::ExitedWithCode(0), "");
    EXPECT_EQ(volumeLabel(drive.device()), "GIG BAG");
    EXPECT_EQ(volumeLabel(drive.device()), "GIG BAG");
    EXPECT_EQ(volumeLabel("/dev/no-such-device"), "");
    EXPECT_EQ(volumeLabel("tmpfs"), "");
    const std::string uuid = volumeUuid(drive.device());
    ASSERT_EQ(uuid.size(), 36u) << uuid;
    EXPECT_EQ(uuid[8], '-');
    EXPECT_EQ(volumeUuid("tmpfs"), "");

    // A path on the mounted drive, whether it exists yet or not, names the drive's volume.
    const auto mounted = dir / "media" / "GIG BAG";
    if (!drive.mount(mounted, dir / "media")) GTEST_SKIP() << drive.skipReason();
    const Volume expected{toUtf8(mounted), "GIG BAG", uuid, "ext4"};
    EXPECT_EQ(volumeOf(mounted / "_Serato_" / "not yet"), expected);
}

// Without a device to probe only the mount point is known; a backend without labels says "".
TEST(VolumeOf, MountPointMatchesVolumeMountPoint) {
    test::TempDir dir;
    const Volume volume = volumeOf(dir / "missing");
    EXPECT_EQ(volume.mountPoint, volumeMountPoint(dir.path()));
    if (!backend().readsVolumeLabels) {
        EXPECT_EQ(volumeUuid("/dev/sda1"), "");
        EXPECT_EQ(volume.label + volume.uuid, "");
    }
}

TEST(HomeFolder, FollowsHomeThenThePasswordDatabase) {
    const test::ScopedHome guard(toPath("/tmp/someone"));
    EXPECT_EQ(toUtf8(homeFolder()), "/tmp/someone");
    test::setEnvironment(test::homeVariable(), std::nullopt);
    EXPECT_FALSE(homeFolder().empty());
}

}  // namespace
}  // namespace morrowdeck::platform
