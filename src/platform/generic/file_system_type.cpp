#include <system_error>

#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"

namespace morrowdeck::platform {

// POSIX's statvfs does not name the file system, so its type comes from the mount table: the
// mount holding the path's nearest existing ancestor. Unknown (no mount table) counts as 1 ns,
// as an unknown type does on every backend.
std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path probe = std::filesystem::absolute(path, error);
    if (error) return std::chrono::nanoseconds(1);
    while (!fileExists(probe) && probe.has_relative_path())
        probe = probe.parent_path();
    const auto resolved = resolvedPath(probe);
    if (!resolved) return std::chrono::nanoseconds(1);
    const auto mounts = readMountTable();
    const Mount* mount = mountContaining(mounts, resolved->native());
    return mount ? granularityForFileSystemName(mount->type) : std::chrono::nanoseconds(1);
}

}  // namespace morrowdeck::platform
