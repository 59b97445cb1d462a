#include "platform/file_lock.h"

#include <windows.h>
// After windows.h, which it needs.
#include <io.h>

#include <cerrno>
#include <utility>

#include "platform/folder_handle.h"
#include "platform/windows/file_handle.h"
#include "platform/windows/system_path.h"

// LockFileEx locks the open file, and the system releases the lock of a process that died with
// its handles, so the next taker simply gets it, as with flock(2) elsewhere.
namespace morrowdeck::platform {

namespace {

// FileDispositionInfoEx and its flags (Windows 10 1607 and later), which the headers declare
// only for newer targets than the one the program is built for.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDelete = 0x1, kPosixSemantics = 0x2;
struct DispositionInfoEx {
    DWORD flags;
};

// Removes the file's name while it is still locked, so that a taker never locks a file that is
// about to go: at once where the file system can (POSIX-style deletion), else when the handle
// closes, meanwhile refusing opens with "access denied", which acquire() waits out.
void deleteWhileOpen(HANDLE file) {
    DispositionInfoEx now{kDelete | kPosixSemantics};
    if (SetFileInformationByHandle(file, kDispositionInfoEx, &now, sizeof now)) return;
    FILE_DISPOSITION_INFO onClose{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &onClose, sizeof onClose);
}

}  // namespace

FileLock::FileLock(FileLock&& other) noexcept
    : file_(std::move(other.file_)), fd_(std::exchange(other.fd_, -1)) {}

int FileLock::acquire(const std::filesystem::path& file) {
    release();
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Not following a link: whatever is there is looked at before it is locked.
        windows::Handle handle =
            windows::openPath(file, GENERIC_READ | GENERIC_WRITE | DELETE, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
        if (!handle.valid()) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED) {
                // The holder before us may be removing the file: wait a moment and look again.
                const DWORD attributes = GetFileAttributesW(windows::systemPath(file).c_str());
                if (attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
                    return notRegularFile;
                if (attempt < 20) {
                    Sleep(1);
                    continue;
                }
            }
            return windows::errnoFromWin32(error);
        }
        EntryStatus opened;
        if (windows::handleStatus(handle.get(), opened) != 0 || opened.kind != EntryKind::regular)
            return notRegularFile;
        OVERLAPPED whole{};
        if (!LockFileEx(handle.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                        MAXDWORD, MAXDWORD, &whole)) {
            const DWORD error = GetLastError();
            if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return EWOULDBLOCK;
            if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return ENOLCK;
            return windows::errnoFromWin32(error);
        }
        // The holder before us removes the file before releasing it: a lock taken on a file
        // that is no longer under the name guards nothing, so take the one there now.
        EntryStatus locked, named;
        if (windows::handleStatus(handle.get(), locked) == 0 &&
            windows::pathStatus(file, SymbolicLinks::noFollow, named) == 0 &&
            sameItem(locked, named)) {
            int error = 0;
            const int fd = windows::toDescriptor(std::move(handle), error);
            if (fd < 0) return error;
            file_ = file;
            fd_ = fd;
            return 0;
        }
    }
    return EWOULDBLOCK;
}

bool FileLock::isUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

void FileLock::release() {
    if (fd_ < 0) return;
    deleteWhileOpen(windows::handleOf(fd_));
    _close(fd_);  // releases the lock
    fd_ = -1;
}

}  // namespace morrowdeck::platform
