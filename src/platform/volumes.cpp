#include "platform/volumes.h"

#include <system_error>

#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/path_text.h"

namespace morrowdeck::platform {

std::string networkShare(std::string_view path) {
    if (!path.starts_with("//") || path.starts_with("///")) return "";
    const std::size_t server = path.find('/', 2);
    if (server == std::string_view::npos || server == 2) return "";
    const std::size_t share = path.find('/', server + 1);
    if (share == server + 1) return "";
    return std::string(path.substr(0, share));
}

namespace {

// The path made absolute, its missing tail dropped and its links resolved, as text; "" when
// that fails.
std::string resolvedText(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path probe = std::filesystem::absolute(path, error);
    if (error) return "";
    while (!platform::fileExists(probe) && probe.has_relative_path())
        probe = probe.parent_path();
    const auto resolved = resolvedPath(probe);
    return resolved ? toUtf8(*resolved) : "";
}

// The mount point of a mount as volumeMountPoint() gives it.
std::string prefixOf(const Mount* mount) {
    if (!mount || mount->mountPoint == "/") return "";
    // A Windows drive's root "D:/" gives "D:": a crate's path on it is "Music/x.mp3", as
    // Serato writes it there, for the system drive as for any other.
    std::string point = mount->mountPoint;
    if (point.size() > 1 && point.back() == '/') point.pop_back();
    return point;
}

}  // namespace

std::string volumeMountPoint(const std::filesystem::path& path) {
    const std::string text = resolvedText(path);
    if (text.empty()) return "";
    if (std::string share = networkShare(text); !share.empty()) return share;
    const auto mounts = readMountTable();
    return prefixOf(mountContaining(mounts, text));
}

Volume volumeOf(const std::filesystem::path& path) {
    Volume volume;
    const std::string text = resolvedText(path);
    if (text.empty()) return volume;
    const auto mounts = readMountTable();
    const Mount* mount = mountContaining(mounts, text);
    std::string share = networkShare(text);
    volume.mountPoint = !share.empty() ? std::move(share) : prefixOf(mount);
    if (mount) {
        volume.label = volumeLabel(mount->source);
        volume.uuid = volumeUuid(mount->source);
        volume.fileSystem = mount->type;
    }
    return volume;
}

std::string volumeName(const std::filesystem::path& path) {
    const std::string mountPoint = volumeMountPoint(path);
    if (mountPoint.empty()) return "/";
    return mountPoint.substr(mountPoint.rfind('/') + 1);
}

}  // namespace morrowdeck::platform
