#include "platform/mount_table.h"

#include <array>

namespace morrowdeck::platform {

namespace {

// "/…" on POSIX; a drive's root "D:/" or a share "//server/share" on Windows.
bool isAbsoluteMountPoint(std::string_view point) {
    return (!point.empty() && point.front() == '/') ||
           (point.size() >= 3 && point[1] == ':' && point[2] == '/');
}

}  // namespace

const Mount* mountContaining(const std::vector<Mount>& mounts, std::string_view resolvedPath) {
    const Mount* best = nullptr;
    for (const auto& mount : mounts) {
        const std::string_view point = mount.mountPoint;
        if (!isAbsoluteMountPoint(point)) continue;
        const bool contains = resolvedPath.starts_with(point) &&
                              (resolvedPath.size() == point.size() || point.back() == '/' ||
                               resolvedPath[point.size()] == '/');
        // ">=" so that a later line on the same point (a stacked mount) wins.
        if (contains && (!best || point.size() >= best->mountPoint.size())) best = &mount;
    }
    return best;
}

bool lacksHardLinks(const std::string& type) {
    static constexpr std::array<std::string_view, 5> types{"vfat", "exfat", "msdos", "fat",
                                                           "fat32"};
    for (const auto name : types)
        if (type == name) return true;
    return false;
}

}  // namespace morrowdeck::platform
