#include <sys/statfs.h>

#include <cerrno>

#include "platform/shared_file_operations.h"

namespace morrowdeck::platform {

// statfs names the file system holding a path by its type number, without a mount table. A
// folder that does not exist yet will live on its nearest existing ancestor's volume.
std::optional<shared::FileSystemType> shared::fileSystemTypeOf(const std::filesystem::path& path) {
    std::filesystem::path probe = path;
    struct statfs info {};
    while (::statfs(probe.c_str(), &info) != 0) {
        if (errno != ENOENT) return std::nullopt;
        std::filesystem::path parent = probe.parent_path();
        if (parent.empty()) parent = ".";
        if (parent == probe) return std::nullopt;
        probe = std::move(parent);
    }
    return FileSystemType{static_cast<long>(info.f_type), {}};
}

}  // namespace morrowdeck::platform
