#include <sys/statfs.h>

#include <cerrno>

#include "platform/file_operations.h"

namespace morrowdeck::platform {

namespace {

// statfs names the file system holding a path by its type number, without a mount table. A
// folder that does not exist yet will live on its nearest existing ancestor's volume.
std::optional<long> fileSystemType(const std::filesystem::path& path) {
    std::filesystem::path probe = path;
    struct statfs info {};
    while (::statfs(probe.c_str(), &info) != 0) {
        if (errno != ENOENT) return std::nullopt;
        std::filesystem::path parent = probe.parent_path();
        if (parent.empty()) parent = ".";
        if (parent == probe) return std::nullopt;
        probe = std::move(parent);
    }
    return static_cast<long>(info.f_type);
}

}  // namespace

std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path) {
    const auto type = fileSystemType(path);
    return type ? granularityForFileSystemType(*type) : std::chrono::nanoseconds(1);
}

std::optional<std::int64_t> largestFileSize(const std::filesystem::path& path) {
    const auto type = fileSystemType(path);
    return type ? largestFileForFileSystemType(*type) : std::nullopt;
}

}  // namespace morrowdeck::platform
