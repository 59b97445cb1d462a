#include "platform/volumes.h"

#include <system_error>

#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"

namespace morrowdeck::platform {

std::string volumeMountPoint(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path probe = std::filesystem::absolute(path, error);
    if (error) return "";
    while (!platform::fileExists(probe) && probe.has_relative_path())
        probe = probe.parent_path();
    const auto resolved = resolvedPath(probe);
    if (!resolved) return "";
    const auto mounts = readMountTable();
    const Mount* mount = mountContaining(mounts, resolved->native());
    if (!mount || mount->mountPoint == "/") return "";
    return mount->mountPoint;
}

std::string volumeName(const std::filesystem::path& path) {
    const std::string mountPoint = volumeMountPoint(path);
    if (mountPoint.empty()) return "/";
    return mountPoint.substr(mountPoint.rfind('/') + 1);
}

}  // namespace morrowdeck::platform
