#include "platform/mount_table.h"

#if defined(__linux__)
#include <mntent.h>
#include <stdio.h>
#endif

namespace morrowdeck::platform {

// POSIX has no call that lists mounts. On Linux (where the generic backend is built and tested)
// getmntent reads the mtab format, with its octal escapes; this process's own list is
// /proc/self/mounts. A system without such a hook lists no mounts, and its callers treat every
// path as being on the root volume.
std::vector<Mount> readMountTable(const std::filesystem::path& table) {
    std::vector<Mount> mounts;
#if defined(__linux__)
    const std::string file =
        table == systemMountTable ? std::string("/proc/self/mounts") : table.native();
    FILE* stream = ::setmntent(file.c_str(), "r");
    if (!stream) return mounts;
    // getmntent_r: the plain call shares one static buffer between threads.
    struct mntent entry {};
    char buffer[4096];
    while (::getmntent_r(stream, &entry, buffer, sizeof buffer)) {
        Mount mount{entry.mnt_fsname ? entry.mnt_fsname : "", entry.mnt_dir ? entry.mnt_dir : "",
                    entry.mnt_type ? entry.mnt_type : ""};
        if (!mount.mountPoint.empty()) mounts.push_back(std::move(mount));
    }
    ::endmntent(stream);
#else
    (void)table;
#endif
    return mounts;
}

// Labels and UUIDs come from the device's own file system header, which only a system service
// reads.
std::string volumeLabel(const std::string&) {
    return {};
}

std::string volumeUuid(const std::string&) {
    return {};
}

}  // namespace morrowdeck::platform
