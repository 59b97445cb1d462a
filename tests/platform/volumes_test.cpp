#include "platform/volumes.h"

#include <gtest/gtest.h>

#include "platform/home_folder.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

constexpr std::string_view kMountinfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "30 22 0:26 / /home rw,relatime shared:2 - ext4 /dev/sda2 rw\n"
    "40 22 8:17 / /media/dj/DJ\\040Drive rw,nosuid - exfat /dev/sdb1 rw\n"
    "41 22 8:33 / /media/dj/DJ rw,nosuid - vfat /dev/sdc1 rw\n"
    "42 22 8:49 / /media/dj/Back\\134slash rw - vfat /dev/sdd1 rw\n"
    "50 22 0:40 / /mnt/stack rw - tmpfs tmpfs rw\n"
    "51 50 0:41 / /mnt/stack rw - ext4 /dev/sde1 rw\n"
    "garbage line\n";

struct MountCase {
    const char* path;
    const char* expected;
};

class MountPointTest : public testing::TestWithParam<MountCase> {};

TEST_P(MountPointTest, LongestContainingMountPoint) {
    EXPECT_EQ(mountPointContaining(kMountinfo, GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MountPointTest,
    testing::Values(MountCase{"/", ""}, MountCase{"/usr/share", ""},
                    MountCase{"/home/dj/Music/_Serato_", "/home"},
                    MountCase{"/homework", ""},  // a prefix that is not a component boundary
                    MountCase{"/media/dj/DJ Drive/_Serato_", "/media/dj/DJ Drive"},
                    MountCase{"/media/dj/DJ/_Serato_", "/media/dj/DJ"},
                    MountCase{"/media/dj/DJ", "/media/dj/DJ"}, MountCase{"/media/dj/DJX", ""},
                    MountCase{"/media/dj/Back\\slash/a", "/media/dj/Back\\slash"},
                    MountCase{"/mnt/stack/x", "/mnt/stack"}),
    [](const auto& param) {
        return test::testName(param.param.path) + "_" + std::to_string(param.index);
    });

TEST(VolumeMountPoint, RealPathsResolveToAMountOrRoot) {
    test::TempDir dir;
    const std::string mount = volumeMountPoint(dir.path());
    // Whatever the machine's layout, the answer is "" or an ancestor of the folder.
    if (!mount.empty()) {
        EXPECT_EQ(dir.path().native().rfind(mount, 0), 0u) << mount;
    }
    // A path that does not exist yet resolves like its nearest existing ancestor.
    EXPECT_EQ(volumeMountPoint(dir / "not" / "yet" / "there"), mount);
    EXPECT_EQ(volumeMountPoint("/"), "");
    EXPECT_EQ(volumeMountPoint("/proc/self"), "/proc");
}

TEST(HomeFolder, FollowsHomeVariable) {
    {
        const test::ScopedHome guard("/tmp/someone");
        EXPECT_EQ(homeFolder(), "/tmp/someone");
        ::unsetenv("HOME");
        EXPECT_FALSE(homeFolder().empty());  // from the password database
    }
}

}  // namespace
}  // namespace morrowdeck::platform
