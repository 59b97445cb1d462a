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

// "//server/share" for a path on a network share named by its UNC path ("//server/share/…", as
// a Windows path reads in the program's text), else "". Such a share is a volume of its own.
std::string networkShare(std::string_view path);

// The name of that volume as a DJ knows the drive: the last component of its mount point
// ("USB" for /media/dj/USB), or "/" for the root file system.
std::string volumeName(const std::filesystem::path& path);

}  // namespace morrowdeck::platform
