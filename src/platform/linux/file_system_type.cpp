#include <sys/statfs.h>

#include <cerrno>

#include "platform/file_operations.h"

namespace morrowdeck::platform {

// statfs names the file system holding a path by its type number, without a mount table.
std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path) {
    // A folder that does not exist yet will live on its nearest existing ancestor's volume.
    std::filesystem::path probe = path;
    struct statfs info {};
    while (::statfs(probe.c_str(), &info) != 0) {
        if (errno != ENOENT) return std::chrono::nanoseconds(1);
        std::filesystem::path parent = probe.parent_path();
        if (parent.empty()) parent = ".";
        if (parent == probe) return std::chrono::nanoseconds(1);
        probe = std::move(parent);
    }
    return granularityForFileSystemType(static_cast<long>(info.f_type));
}

}  // namespace morrowdeck::platform
