#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace morrowdeck::platform {

// The mount point of the volume that holds the path, without a trailing slash, or "" when
// that is the root file system or cannot be determined. The path need not exist: its nearest
// existing ancestor is used, with symbolic links resolved. A library on a USB drive mounted
// at /media/dj/USB gets "/media/dj/USB", just as a Mac gives "/Volumes/USB".
std::string volumeMountPoint(const std::filesystem::path& path);

// The name of that volume as a DJ knows the drive: the last component of its mount point
// ("USB" for /media/dj/USB), or "/" for the root file system.
std::string volumeName(const std::filesystem::path& path);

// The pure part of volumeMountPoint: the longest mount point listed in a
// /proc/self/mountinfo text that contains the resolved absolute path; for stacked mounts on
// one point the last line wins. "" for the root mount or when nothing matches.
std::string mountPointContaining(std::string_view mountinfo, std::string_view resolvedPath);

}  // namespace morrowdeck::platform
