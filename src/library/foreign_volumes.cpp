#include "library/foreign_volumes.h"

#include <algorithm>
#include <string_view>

#include "library/unicode_text.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

constexpr std::string_view macVolumes = "/Volumes/";

}  // namespace

ForeignVolumes::ForeignVolumes(std::function<Mounted()> mounted,
                               std::function<bool(const std::string&)> isFolder)
    : mounted_(std::move(mounted)), isFolder_(std::move(isFolder)) {
    if (!isFolder_)
        isFolder_ = [](const std::string& path) {
            return platform::isDirectory(platform::toPath(path));
        };
}

std::string ForeignVolumes::map(std::string path) {
    if (!path.starts_with(macVolumes)) return path;
    const std::size_t end = path.find('/', macVolumes.size());
    if (end == std::string::npos) return path;
    const std::string name = path.substr(macVolumes.size(), end - macVolumes.size());
    auto [known, fresh] = byName_.try_emplace(name);
    if (fresh && !isFolder_(path.substr(0, end))) {
        if (!volumes_) volumes_ = mounted_();
        const std::string key = text::nfcKey(name);
        std::optional<std::string> found;
        bool twice = false;
        for (const auto& [volume, mountPoint] : *volumes_) {
            if (text::nfcKey(volume) != key) continue;
            twice = twice || (found && *found != mountPoint);
            found = mountPoint;
        }
        // Two volumes of that name here: neither is known to be the one meant.
        if (!twice) known->second = std::move(found);
    }
    if (!known->second) return path;
    return *known->second + path.substr(end);
}

ForeignVolumes::Mounted ForeignVolumes::systemVolumes() {
    Mounted volumes;
    for (const auto& mount : platform::readMountTable()) {
        const std::string mountPoint =
            mount.mountPoint.size() > 1 && mount.mountPoint.ends_with('/')
                ? mount.mountPoint.substr(0, mount.mountPoint.size() - 1)
                : mount.mountPoint;
        const std::size_t slash = mountPoint.rfind('/');
        const std::string last =
            slash == std::string::npos ? mountPoint : mountPoint.substr(slash + 1);
        if (!last.empty()) volumes.emplace_back(last, mountPoint);
        if (const auto label = platform::volumeLabel(mount.source); !label.empty() && label != last)
            volumes.emplace_back(label, mountPoint);
    }
    return volumes;
}

}  // namespace morrowdeck
