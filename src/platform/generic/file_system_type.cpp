#include <system_error>

#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"

namespace morrowdeck::platform {

namespace {

// POSIX's statvfs does not name the file system, so its type comes from the mount table: the
// mount holding the path's nearest existing ancestor. None without a mount table.
std::optional<std::string> fileSystemType(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path probe = std::filesystem::absolute(path, error);
    if (error) return std::nullopt;
    while (!fileExists(probe) && probe.has_relative_path())
        probe = probe.parent_path();
    const auto resolved = resolvedPath(probe);
    if (!resolved) return std::nullopt;
    const auto mounts = readMountTable();
    const Mount* mount = mountContaining(mounts, resolved->native());
    return mount ? std::optional(mount->type) : std::nullopt;
}

}  // namespace

// Unknown counts as 1 ns, as an unknown type does on every backend.
std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path) {
    const auto type = fileSystemType(path);
    return type ? granularityForFileSystemName(*type) : std::chrono::nanoseconds(1);
}

std::optional<std::int64_t> largestFileSize(const std::filesystem::path& path) {
    const auto type = fileSystemType(path);
    return type ? largestFileForFileSystemName(*type) : std::nullopt;
}

}  // namespace morrowdeck::platform
