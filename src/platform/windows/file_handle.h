#pragma once
// Internal to the Windows backend (header-only): opening files and folders with the sharing
// the program needs, holding their handles, and asking them what they are.
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

#include "platform/file_operations.h"
#include "platform/folder_handle.h"
#include "platform/windows/system_path.h"

namespace morrowdeck::platform::windows {

// Every open shares reading, writing and deleting, so that the program never keeps another
// process (or another thread of its own) from renaming or removing a file it has open.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A Win32 handle, closed when this goes. Move-only.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { close(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    // CloseHandle with its result: 0 or errno.
    int close();

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// CreateFileW on the path with kShareAll; an invalid handle with GetLastError() set on failure.
// FILE_FLAG_BACKUP_SEMANTICS is always added, so that folders open too and callers can say
// EISDIR rather than "access denied".
Handle openPath(const std::filesystem::path& path, DWORD access, DWORD disposition,
                DWORD flags = 0);

// The handle as a C runtime descriptor, which then owns it (closed by _close). -1 with `error`
// set when the runtime has no descriptor left; the handle is closed then.
int toDescriptor(Handle handle, int& error);
// The handle behind a descriptor; INVALID_HANDLE_VALUE for a bad one.
HANDLE handleOf(int fd);

// FILETIME counts 100 ns since 1601; FileTime nanoseconds since 1970.
FileTime fromFileTime(const FILETIME& time);
FILETIME toFileTime(FileTime time);

// The status of an open handle: its kind (symbolicLink when it was opened on a link or junction
// itself), size, date, volume serial (device), file index (inode) and links. 0 or errno.
int handleStatus(HANDLE handle, EntryStatus& out);

// The status of a path, following links or not: 0, or errno with out.kind nothing.
int pathStatus(const std::filesystem::path& path, SymbolicLinks links, EntryStatus& out);

// The path the handle was opened on as the system names it now, every link resolved; absent
// with GetLastError() set on failure.
std::optional<std::filesystem::path> finalPath(HANDLE handle);

// Whether a reparse point is a symbolic link or a junction, the two kinds that lead elsewhere;
// other reparse points (cloud placeholders, deduplicated files) are ordinary files and folders.
bool isLinkTag(DWORD reparseTag);

// Definitions.
// 100 ns steps from 1601-01-01 to 1970-01-01.
inline constexpr std::int64_t kEpochDifference = 116'444'736'000'000'000;

inline int Handle::close() {
    if (!valid()) return 0;
    const bool closed = CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0;
    return closed ? 0 : lastErrno();
}

inline Handle openPath(const std::filesystem::path& path, DWORD access, DWORD disposition,
                       DWORD flags) {
    return Handle(CreateFileW(systemPath(path).c_str(), access, kShareAll, nullptr, disposition,
                              flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

inline int toDescriptor(Handle handle, int& error) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_BINARY);
    if (fd < 0) {
        error = EMFILE;
        return -1;
    }
    handle.release();
    return fd;
}

inline HANDLE handleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

inline FileTime fromFileTime(const FILETIME& time) {
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return FileTime(std::chrono::nanoseconds((ticks - kEpochDifference) * 100));
}

inline FILETIME toFileTime(FileTime time) {
    // Floored to the 100 ns step, as the file system keeps it.
    std::int64_t ticks = time.time_since_epoch().count() / 100;
    if (time.time_since_epoch().count() % 100 < 0) --ticks;
    const auto value = static_cast<std::uint64_t>(ticks + kEpochDifference);
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

inline std::optional<std::filesystem::path> finalPath(HANDLE handle) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, text.data(), static_cast<DWORD>(text.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < text.size()) {
            text.resize(length);
            return fromSystemPath(std::move(text));
        }
        text.resize(length + 1);
    }
}

inline bool isLinkTag(DWORD reparseTag) {
    return reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}

inline int handleStatus(HANDLE handle, EntryStatus& out) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        const int error = lastErrno();
        out = EntryStatus{};
        return error;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool isLink =
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
        isLinkTag(tag.ReparseTag);
    if (isLink)
        out.kind = EntryKind::symbolicLink;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        out.kind = EntryKind::folder;
    else if (GetFileType(handle) == FILE_TYPE_DISK)
        out.kind = EntryKind::regular;
    else
        out.kind = EntryKind::other;
    out.size =
        out.kind == EntryKind::folder
            ? 0
            : static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                        info.nFileSizeLow);
    out.mtime = fromFileTime(info.ftLastWriteTime);
    out.device = info.dwVolumeSerialNumber;
    out.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out.links = info.nNumberOfLinks;
    return 0;
}

inline int pathStatus(const std::filesystem::path& path, SymbolicLinks links, EntryStatus& out) {
    const DWORD flags = links == SymbolicLinks::noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    const Handle handle = openPath(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, flags);
    if (!handle.valid()) {
        const int error = lastErrno();
        out = EntryStatus{};
        return error;
    }
    return handleStatus(handle.get(), out);
}

}  // namespace morrowdeck::platform::windows
