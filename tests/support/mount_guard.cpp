#include "support/mount_guard.h"

#include <sys/mount.h>

namespace morrowdeck::test {

TmpfsMount::TmpfsMount(const std::filesystem::path& where, const std::string& options)
    : where_(where) {
    std::filesystem::create_directories(where);
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
}

}  // namespace morrowdeck::test
