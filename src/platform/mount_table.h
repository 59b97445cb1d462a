#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace morrowdeck::platform {

// One mounted file system.
struct Mount {
    std::string source;      // the device or what stands for it ("/dev/sdb1", "tmpfs")
    std::string mountPoint;  // absolute, unescaped
    std::string type;        // "ext4", "vfat", "exfat", ...
};

// The default table: this process's view of the mounts.
inline constexpr const char* systemMountTable = "/proc/self/mountinfo";

// The mounts of a mount table file in table order, read with libmount, which accepts the
// mountinfo, mtab and fstab formats. An unreadable table gives no mounts.
std::vector<Mount> readMountTable(const std::filesystem::path& table = systemMountTable);

// The label of the file system on a device ("/dev/sdb1"), from libmount's device cache
// (blkid); "" when there is none, the device cannot be probed, or the backend cannot read labels.
std::string volumeLabel(const std::string& device);

// The identifier of the file system on a device, which stays with the drive whatever it is
// mounted as: the UUID blkid reports ("3f1c…-…", or "1A2B-3C4D" for FAT and exFAT) on Linux,
// the volume serial number as "1A2B-3C4D" for a drive root ("D:/") on Windows; "" when there
// is none, the device cannot be probed, or the backend cannot read it.
std::string volumeUuid(const std::string& device);

// The mount whose mount point contains the resolved absolute path: the longest such point, and
// of mounts stacked on one point the last. Null when none does.
const Mount* mountContaining(const std::vector<Mount>& mounts, std::string_view resolvedPath);
// True for file systems that have no hard links (FAT and exFAT).
bool lacksHardLinks(const std::string& type);

}  // namespace morrowdeck::platform
