#include "platform/mount_table.h"

#include <array>

namespace morrowdeck::platform {

const Mount* mountContaining(const std::vector<Mount>& mounts, std::string_view resolvedPath) {
    const Mount* best = nullptr;
    for (const auto& mount : mounts) {
        const std::string_view point = mount.mountPoint;
        if (point.empty() || point.front() != '/') continue;
        const bool contains =
            point == "/" || (resolvedPath.starts_with(point) &&
                             (resolvedPath.size() == point.size() ||
                              resolvedPath[point.size()] == '/'));
        // ">=" so that a later line on the same point (a stacked mount) wins.
        if (contains && (!best || point.size() >= best->mountPoint.size())) best = &mount;
    }
    return best;
}

bool lacksHardLinks(const std::string& type) {
    static constexpr std::array<std::string_view, 4> types{"vfat", "exfat", "msdos", "fat"};
    for (const auto name : types)
        if (type == name) return true;
    return false;
}

}  // namespace morrowdeck::platform
