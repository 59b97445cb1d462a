#include "platform/folder_handle.h"

#include <windows.h>
// After windows.h, which it needs.
#include <io.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "platform/path_text.h"
#include "platform/windows/file_handle.h"
#include "platform/windows/system_path.h"

namespace morrowdeck::platform {

bool sameItem(const EntryStatus& a, const EntryStatus& b) {
    return a.kind != EntryKind::nothing && b.kind != EntryKind::nothing && a.device == b.device &&
           a.inode == b.inode;
}

int itemStatus(const std::filesystem::path& path, SymbolicLinks links, EntryStatus& out) {
    return windows::pathStatus(path, links, out);
}

void FolderHandle::close() {
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
}

int FolderHandle::open(const std::filesystem::path& folder) {
    close();
    windows::Handle handle = windows::openPath(folder, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (!handle.valid()) return windows::lastErrno();
    EntryStatus status;
    if (const int error = windows::handleStatus(handle.get(), status)) return error;
    if (status.kind != EntryKind::folder) return ENOTDIR;
    int error = 0;
    const int fd = windows::toDescriptor(std::move(handle), error);
    if (fd < 0) return error;
    fd_ = fd;
    return 0;
}

// Win32 has no lookup relative to an open folder: the entry is asked for by the folder's
// current full path, which the handle gives, plus its name.
int FolderHandle::status(const std::string& name, SymbolicLinks links, EntryStatus& out) const {
    out = EntryStatus{};
    if (fd_ < 0) return EBADF;
    const auto folder = windows::finalPath(windows::handleOf(fd_));
    if (!folder) return windows::lastErrno();
    return windows::pathStatus(*folder / toPath(name), links, out);
}

}  // namespace morrowdeck::platform
