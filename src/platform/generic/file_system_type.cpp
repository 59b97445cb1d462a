#include <system_error>

#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/shared_file_operations.h"

namespace morrowdeck::platform {

// POSIX's statvfs does not name the file system, so its type comes from the mount table: the
// mount holding the path's nearest existing ancestor. None without a mount table.
std::optional<shared::FileSystemType> shared::fileSystemTypeOf(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path probe = std::filesystem::absolute(path, error);
    if (error) return std::nullopt;
    while (!fileExists(probe) && probe.has_relative_path())
        probe = probe.parent_path();
    const auto resolved = resolvedPath(probe);
    if (!resolved) return std::nullopt;
    const auto mounts = readMountTable();
    const Mount* mount = mountContaining(mounts, resolved->native());
    if (!mount) return std::nullopt;
    return FileSystemType{0, mount->type};
}

}  // namespace morrowdeck::platform
