#include "platform/folder_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "platform/posix/system_hooks.h"

namespace morrowdeck::platform {

namespace {

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::regular;
    if (S_ISDIR(mode)) return EntryKind::folder;
    if (S_ISLNK(mode)) return EntryKind::symbolicLink;
    return EntryKind::other;
}

// 0 with `out` filled from info when `found`, else errno with `out` reset to nothing.
int fill(bool found, const struct stat& info, EntryStatus& out) {
    if (!found) {
        const int error = errno;
        out = EntryStatus{};
        return error;
    }
    out.kind = kindOf(info.st_mode);
    out.size = static_cast<std::int64_t>(info.st_size);
    out.mtime = FileTime(std::chrono::seconds(info.st_mtim.tv_sec) +
                         std::chrono::nanoseconds(info.st_mtim.tv_nsec));
    out.device = static_cast<std::uint64_t>(info.st_dev);
    out.inode = static_cast<std::uint64_t>(info.st_ino);
    out.links = static_cast<std::uint64_t>(info.st_nlink);
    return 0;
}

}  // namespace

bool sameItem(const EntryStatus& a, const EntryStatus& b) {
    return a.kind != EntryKind::nothing && b.kind != EntryKind::nothing && a.device == b.device &&
           a.inode == b.inode;
}

int itemStatus(const std::filesystem::path& path, SymbolicLinks links, EntryStatus& out) {
    struct stat info {};
    const bool found = links == SymbolicLinks::follow ? ::stat(path.c_str(), &info) == 0
                                                      : ::lstat(path.c_str(), &info) == 0;
    return fill(found, info, out);
}

void FolderHandle::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int FolderHandle::open(const std::filesystem::path& folder) {
    close();
    const int fd = hooks::openFolderForQueries(folder.c_str());
    if (fd < 0) return errno;
    fd_ = fd;
    return 0;
}

int FolderHandle::status(const std::string& name, SymbolicLinks links, EntryStatus& out) const {
    if (fd_ < 0) {
        out = EntryStatus{};
        return EBADF;
    }
    struct stat info {};
    const int flags = links == SymbolicLinks::follow ? 0 : AT_SYMLINK_NOFOLLOW;
    return fill(::fstatat(fd_, name.c_str(), &info, flags) == 0, info, out);
}

}  // namespace morrowdeck::platform
