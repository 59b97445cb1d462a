#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace morrowdeck::platform {

// The mount point of the volume that holds the path, without a trailing slash, or "" when
// that is the root file system or cannot be determined. The path need not exist: its nearest
// existing ancestor is used, with symbolic links resolved. A library on a USB drive mounted
// at /media/dj/USB gets "/media/dj/USB", just as a Mac gives "/Volumes/USB". On Windows every
// drive is a volume of its own, the system drive included: "C:", "D:".
std::string volumeMountPoint(const std::filesystem::path& path);

// What identifies the volume that holds a path, beyond where it is mounted today.
struct Volume {
    std::string mountPoint;  // as volumeMountPoint() gives it: "" for the root volume
    std::string label;       // "" when it has none or it cannot be read
    std::string uuid;        // see volumeUuid(); "" when unknown
    std::string fileSystem;  // "ext4", "exfat", "ntfs", ...; "" when unknown

    bool operator==(const Volume&) const = default;
};

// The volume holding the path (which need not exist, as for volumeMountPoint). The root
// volume's label, UUID and type are given too. Reads the mount table and probes the device.
Volume volumeOf(const std::filesystem::path& path);

// "//server/share" for a path on a network share named by its UNC path ("//server/share/…", as
// a Windows path reads in the program's text), else "". Such a share is a volume of its own.
std::string networkShare(std::string_view path);

// The name of that volume as a DJ knows the drive: the last component of its mount point
// ("USB" for /media/dj/USB), or "/" for the root file system.
std::string volumeName(const std::filesystem::path& path);

}  // namespace morrowdeck::platform
