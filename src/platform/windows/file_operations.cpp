#include "platform/file_operations.h"

#include <windows.h>
// After windows.h, which it needs.
#include <io.h>
#include <bcrypt.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/file_system.h"
#include "platform/folder_handle.h"
#include "platform/path_text.h"
#include "platform/shared_file_operations.h"
#include "platform/windows/file_handle.h"
#include "platform/windows/system_path.h"

// Windows has no call that flushes a folder's names to the disk (FlushFileBuffers needs a file
// opened for writing, which a folder cannot be), nor one that flushes a whole file system for an
// ordinary user. So every file a copy writes is flushed on its own before it takes its name, the
// renames are made with MOVEFILE_WRITE_THROUGH, and the folder syncs below only check that the
// folder is there.
namespace morrowdeck::platform {

namespace {

namespace fs = std::filesystem;
using windows::Handle;
using windows::lastErrno;
using windows::systemPath;

// The copy's piece: large enough that the per-call cost of ReadFile and WriteFile stays small.
constexpr DWORD kBufferSize = 1 << 20;

int writeAll(HANDLE out, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(out, data, piece, &written, nullptr)) return lastErrno();
        if (written == 0) return EIO;
        data += written;
        size -= written;
    }
    return 0;
}

int copyHandles(HANDLE in, HANDLE out, const DataSink* sink) {
    // A buffer per copy: a thread_local one would be freed at thread exit before its
    // destructor runs (mingw-w64's thread_local storage), which crashes.
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.get(), kBufferSize, &got, nullptr)) {
            if (GetLastError() == ERROR_HANDLE_EOF) return 0;
            return lastErrno();
        }
        if (got == 0) return 0;
        if (sink) (*sink)({buffer.get(), got});
        if (const int error = writeAll(out, buffer.get(), got)) return error;
    }
}

// MoveFileExW replacing `to`. A read-only file at `to` refuses to be replaced, where a POSIX
// rename would replace it: its read-only attribute is cleared and the move tried again (and the
// attribute given back when that fails too).
int replaceName(const fs::path& from, const fs::path& to) {
    if (windows::refusedName(to)) return EINVAL;
    const std::wstring source = systemPath(from), target = systemPath(to);
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(source.c_str(), target.c_str(), kFlags)) return 0;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_READONLY) == 0 || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return windows::errnoFromWin32(error);
    if (!SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return windows::errnoFromWin32(error);
    if (MoveFileExW(source.c_str(), target.c_str(), kFlags)) return 0;
    const int retryError = lastErrno();
    SetFileAttributesW(target.c_str(), attributes);
    return retryError;
}

// MoveFileExW that never replaces: EEXIST when something is at `to`, decided by the move itself.
int moveNoReplace(const fs::path& from, const fs::path& to) {
    if (windows::refusedName(to)) return EINVAL;
    if (MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    return lastErrno();
}

// DeleteFileW, clearing a read-only attribute that would refuse it (unlink(2) ignores a file's
// own permissions too).
int deleteFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return 0;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        if (DeleteFileW(path.c_str())) return 0;
        const int retryError = lastErrno();
        SetFileAttributesW(path.c_str(), attributes);
        return retryError;
    }
    return windows::errnoFromWin32(error);
}

// A hidden temporary file beside a target, written through handle() and then renamed onto the
// target by commit(). Until then the destructor closes and removes it, so every early return of
// a failing copy or write cleans up. Windows cannot rename or delete a file while it is open
// without delete sharing: every handle here shares it, and close() comes before commit().
// Owned by one thread.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        handle_.close();
        if (!path_.empty()) DeleteFileW(systemPath(path_).c_str());
    }

    // Creates the file, never opening one already there; 0 or errno.
    int create(const fs::path& target) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = shared::temporaryPath(target);
            handle_ = windows::openPath(candidate, GENERIC_READ | GENERIC_WRITE, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL);
            if (handle_.valid()) {
                path_ = std::move(candidate);
                return 0;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return windows::errnoFromWin32(error);
        }
        return EEXIST;
    }

    HANDLE handle() const { return handle_.get(); }
    const fs::path& path() const { return path_; }

    // CloseHandle with its result: a network share may report a failed write only here.
    int close() { return handle_.close(); }

    // Moves the closed file onto the target; 0 or errno (EEXIST when not replacing and the
    // target exists).
    int commit(const fs::path& target, bool replaceExisting) {
        const int error =
            replaceExisting ? replaceName(path_, target) : moveNoReplace(path_, target);
        if (error == 0) path_.clear();
        return error;
    }

  private:
    fs::path path_;
    Handle handle_;
};

// Opens `source` for reading: a regular file only (EISDIR for a folder, EINVAL for a device or
// pipe). 0 or errno.
int openSource(const fs::path& source, Handle& in) {
    in = windows::openPath(source, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!in.valid()) return lastErrno();
    EntryStatus status;
    if (const int error = windows::handleStatus(in.get(), status)) return error;
    if (status.kind == EntryKind::folder) return EISDIR;
    if (status.kind != EntryKind::regular) return EINVAL;
    return 0;
}

// Copies `source` into a new temporary file beside `dest`, gives it the source's access and
// modification times (last, as every write moves them) and flushes and closes it. Attributes are
// not carried over: a read-only attribute on the copy would keep it from ever being replaced,
// and the copy's access rights come from its folder, as every new file's do. 0 or errno.
int copyIntoTemporary(const fs::path& source, const fs::path& dest, const DataSink* sink,
                      TempFile& temp) {
    Handle in;
    if (const int error = openSource(source, in)) return error;
    if (const int error = temp.create(dest)) return error;
    if (const int error = copyHandles(in.get(), temp.handle(), sink)) return error;
    FILETIME accessed{}, modified{};
    if (!GetFileTime(in.get(), nullptr, &accessed, &modified)) return lastErrno();
    if (!SetFileTime(temp.handle(), nullptr, &accessed, &modified)) return lastErrno();
    if (!FlushFileBuffers(temp.handle())) return lastErrno();
    return temp.close();
}

}  // namespace

namespace shared {

bool fillRandom(unsigned char* bytes, std::size_t size) {
    // The system's preferred generator, without opening an algorithm provider first.
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

}  // namespace shared

namespace detail {

// Windows copies with ReadFile and WriteFile whatever the method asked: the kernel-side copies
// of Linux have no counterpart that works on two open files.
int copyData(int in, int out, CopyMethod, const DataSink* sink) {
    const HANDLE input = windows::handleOf(in), output = windows::handleOf(out);
    if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE) return EBADF;
    return copyHandles(input, output, sink);
}

}  // namespace detail

std::optional<FileInfo> fileInfo(const fs::path& path) {
    EntryStatus status;
    if (windows::pathStatus(path, SymbolicLinks::follow, status) != 0 ||
        status.kind != EntryKind::regular)
        return std::nullopt;
    return FileInfo{status.size, status.mtime, status.device, status.inode};
}

std::optional<FileInfo> fileInfo(const char* path) {
    return fileInfo(toPath(path));
}

bool itemExists(const fs::path& path) {
    if (GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    // A file another process holds without sharing (a page file) is there all the same.
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

int copyFile(const fs::path& source, const fs::path& dest, bool replaceExisting,
             const fs::path& keepAs, const DataSink* sink, const CopyCheck* check) {
    if (!dest.has_filename()) return EINVAL;
    EntryStatus existing;
    if (windows::pathStatus(dest, SymbolicLinks::noFollow, existing) == 0) {
        if (!replaceExisting) return EEXIST;
        if (existing.kind == EntryKind::folder) return EISDIR;
    }
    TempFile temp;
    if (const int error = copyIntoTemporary(source, dest, sink, temp)) return error;
    if (check != nullptr)
        if (const int error = (*check)()) return error;
    if (!replaceExisting) return temp.commit(dest, false);
    const shared::KeptAside kept = shared::keepAside(dest, keepAs);
    if (kept.error != 0) return kept.error;
    const int error = temp.commit(dest, true);
    if (error != 0 && kept.moved) moveNoReplace(keepAs, dest);
    return error;
}

int copyFileDurably(const fs::path& source, const fs::path& dest, const DataSink* sink) {
    if (!dest.has_filename()) return EINVAL;
    if (itemExists(dest)) return EEXIST;
    TempFile temp;
    if (const int error = copyIntoTemporary(source, dest, sink, temp)) return error;
    return temp.commit(dest, false);
}

int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    return moveNoReplace(from, to);
}

int appendToFile(const fs::path& path, std::string_view text) {
    if (windows::refusedName(path)) return EINVAL;
    const Handle out =
        windows::openPath(path, FILE_APPEND_DATA, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!out.valid()) return lastErrno();
    return writeAll(out.get(), reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

namespace {

// Removes everything inside `folder` (a system path), then the folder. Links and junctions are
// removed themselves, never followed. The first error is kept; the walk goes on past it.
int removeInside(const std::wstring& folder, std::int64_t& freed) {
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return lastErrno();
    int firstError = 0;
    do {
        const std::wstring_view name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + std::wstring(name);
        const DWORD attributes = entry.dwFileAttributes;
        int error = 0;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link or junction to a folder is removed as an empty folder would be.
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                !windows::isLinkTag(entry.dwReserved0))
                error = removeInside(path, freed);
            else
                error = RemoveDirectoryW(path.c_str()) ? 0 : lastErrno();
        } else {
            const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                                windows::isLinkTag(entry.dwReserved0);
            error = deleteFile(path);
            if (error == 0 && !isLink)
                freed += static_cast<std::int64_t>(
                    (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
        }
        if (firstError == 0) firstError = error;
    } while (FindNextFileW(find, &entry));
    const DWORD end = GetLastError();
    FindClose(find);
    if (firstError == 0 && end != ERROR_NO_MORE_FILES) firstError = windows::errnoFromWin32(end);
    if (firstError != 0) return firstError;
    return RemoveDirectoryW(folder.c_str()) ? 0 : lastErrno();
}

}  // namespace

int removeTree(const fs::path& folder, std::int64_t& freed) {
    const std::wstring path = systemPath(folder);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return lastErrno();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
    // A link or junction given as the tree is removed itself, as what it leads to is not in it.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        EntryStatus status;
        if (windows::pathStatus(folder, SymbolicLinks::noFollow, status) == 0 &&
            status.kind == EntryKind::symbolicLink)
            return RemoveDirectoryW(path.c_str()) ? 0 : lastErrno();
    }
    return removeInside(path, freed);
}

int hardLink(const fs::path& existing, const fs::path& link) {
    if (windows::refusedName(link)) return EINVAL;
    if (CreateHardLinkW(systemPath(link).c_str(), systemPath(existing).c_str(), nullptr)) return 0;
    const DWORD error = GetLastError();
    // FAT and exFAT have no hard links: EPERM, as link(2) says there, so callers copy instead.
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) return EPERM;
    return windows::errnoFromWin32(error);
}

int replaceWithLink(const fs::path& existing, const fs::path& dest, const fs::path& keepAs) {
    if (!dest.has_filename()) return EINVAL;
    EntryStatus there;
    if (windows::pathStatus(dest, SymbolicLinks::noFollow, there) == 0 &&
        there.kind == EntryKind::folder)
        return EISDIR;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path temp = shared::temporaryPath(dest);
        if (const int error = hardLink(existing, temp)) {
            if (error == EEXIST) continue;
            return error;
        }
        const shared::KeptAside kept = shared::keepAside(dest, keepAs);
        int error = kept.error;
        if (error == 0) error = replaceName(temp, dest);
        if (error != 0 && kept.moved) moveNoReplace(keepAs, dest);
        if (error != 0) DeleteFileW(systemPath(temp).c_str());
        return error;
    }
    return EEXIST;
}

int removeFile(const fs::path& path) {
    const std::wstring name = systemPath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A link to a folder is one name, removed as unlink(2) removes a symbolic link.
        EntryStatus status;
        if (windows::pathStatus(path, SymbolicLinks::noFollow, status) == 0 &&
            status.kind == EntryKind::symbolicLink)
            return RemoveDirectoryW(name.c_str()) ? 0 : lastErrno();
        return EISDIR;
    }
    return deleteFile(name);
}

int createDirectories(const fs::path& path) {
    if (path.empty()) return ENOENT;
    const auto make = [](const fs::path& folder) {
        if (windows::refusedName(folder)) return EINVAL;
        return CreateDirectoryW(systemPath(folder).c_str(), nullptr) ? 0 : lastErrno();
    };
    int error = make(path);
    if (error == 0) return 0;
    if (error == ENOENT) {
        const fs::path parent = path.parent_path();
        if (parent.empty() || parent == path) return error;
        if (const int parentError = createDirectories(parent)) return parentError;
        error = make(path);
        if (error == 0) return 0;
    }
    // Something is there already (perhaps made by another thread just now, or a drive's root,
    // which cannot be created): fine if a folder.
    EntryStatus status;
    if (windows::pathStatus(path, SymbolicLinks::follow, status) == 0)
        return status.kind == EntryKind::folder ? 0 : ENOTDIR;
    return error == EEXIST ? EEXIST : error;  // EEXIST: a dangling link
}

bool isWritableDirectory(const fs::path& path) {
    TempFile probe;
    return probe.create(path / "write-test") == 0;  // removed by the destructor
}

WriteAccess writeAccess(const fs::path& folder) {
    fs::path probe = folder;
    EntryStatus status;
    while (windows::pathStatus(probe, SymbolicLinks::follow, status) != 0) {
        if (probe == probe.parent_path() || probe.empty()) return WriteAccess::writable;
        probe = probe.parent_path();
    }
    if (status.kind != EntryKind::folder) return WriteAccess::denied;  // a file on the way
    // Asks for the right to add a file, which the open checks against the folder's access
    // list and the volume, without writing anything.
    const Handle handle = windows::openPath(probe, FILE_ADD_FILE, OPEN_EXISTING);
    if (handle.valid()) return WriteAccess::writable;
    switch (GetLastError()) {
        case ERROR_WRITE_PROTECT:
            return WriteAccess::readOnly;
        case ERROR_ACCESS_DENIED:
            return WriteAccess::denied;
        default:
            return WriteAccess::writable;  // not known here: the run's own checks will say
    }
}

namespace {

// The root of the volume holding the path (a drive, a share or a mounted folder), with the
// trailing backslash the volume calls want.
std::wstring volumeRoot(const fs::path& path) {
    const std::wstring name = systemPath(path);
    std::wstring root(name.size() + 2, L'\0');
    if (!GetVolumePathNameW(name.c_str(), root.data(), static_cast<DWORD>(root.size())))
        return name + L"\\";
    root.resize(wcslen(root.c_str()));
    if (root.empty() || root.back() != L'\\') root.push_back(L'\\');
    return root;
}

}  // namespace

std::optional<std::int64_t> freeSpace(const fs::path& path) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(volumeRoot(path).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return static_cast<std::int64_t>(available.QuadPart);
}

std::optional<std::int64_t> allocationUnit(const fs::path& path) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(volumeRoot(path).c_str(), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &clusters) ||
        sectorsPerCluster == 0 || bytesPerSector == 0)
        return std::nullopt;
    return static_cast<std::int64_t>(sectorsPerCluster) * bytesPerSector;
}

std::chrono::nanoseconds probeTimestampGranularity(const fs::path& folder) {
    TempFile probe;  // removed by its destructor
    if (probe.create(folder / "timestamp-probe") == 0) {
        const FILETIME time = windows::toFileTime(detail::probeTime);
        // Read back by name after the close: what a later run's query will see.
        if (SetFileTime(probe.handle(), nullptr, &time, &time) && probe.close() == 0)
            if (const auto info = fileInfo(probe.path()))
                if (const auto granularity = detail::granularityFromProbe(info->mtime))
                    return *granularity;
    }
    return timestampGranularity(folder);
}

// The folder is opened to report why it cannot be synced, and to tell volumes apart; there is
// nothing to flush (see the top of this file).
FileSystemSync::FileSystemSync(const fs::path& folder) : folder_(folder) {
    Handle handle = windows::openPath(folder, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (!handle.valid()) {
        openError_ = lastErrno();
        return;
    }
    EntryStatus status;
    if (const int error = windows::handleStatus(handle.get(), status)) {
        openError_ = error;
        return;
    }
    if (status.kind != EntryKind::folder) {
        openError_ = ENOTDIR;
        return;
    }
    fd_ = windows::toDescriptor(std::move(handle), openError_);
}

FileSystemSync::~FileSystemSync() {
    if (fd_ >= 0) _close(fd_);
}

FileSystemSync::FileSystemSync(FileSystemSync&& other) noexcept
    : folder_(std::move(other.folder_)), fd_(other.fd_), openError_(other.openError_) {
    other.fd_ = -1;
}

int FileSystemSync::sync() const {
    return fd_ < 0 ? openError_ : 0;
}

std::vector<FileSystemSync> FileSystemSync::forFolders(const std::vector<fs::path>& folders) {
    std::vector<FileSystemSync> syncs;
    std::vector<std::uint64_t> volumes;
    for (const auto& folder : folders) {
        FileSystemSync handle(folder);
        EntryStatus status;
        if (handle.fd_ >= 0 && windows::handleStatus(windows::handleOf(handle.fd_), status) == 0) {
            if (std::find(volumes.begin(), volumes.end(), status.device) != volumes.end()) continue;
            volumes.push_back(status.device);
        }
        syncs.push_back(std::move(handle));
    }
    return syncs;
}

int syncFolder(const fs::path& folder) {
    EntryStatus status;
    if (const int error = windows::pathStatus(folder, SymbolicLinks::follow, status)) return error;
    return status.kind == EntryKind::folder ? 0 : ENOTDIR;
}

int syncFile(const fs::path& file) {
    const Handle handle = windows::openPath(file, GENERIC_WRITE, OPEN_EXISTING);
    if (!handle.valid()) return lastErrno();
    return FlushFileBuffers(handle.get()) ? 0 : lastErrno();
}

std::optional<fs::path> resolvedPath(const fs::path& path) {
    const Handle handle = windows::openPath(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (!handle.valid()) return std::nullopt;
    return windows::finalPath(handle.get());
}

int writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes, Flush flush) {
    if (!path.has_filename()) return EINVAL;
    // The new file gets its access rights from the folder, as the one it replaces did unless
    // someone changed them; attributes are not carried (a read-only one would block the rename).
    TempFile temp;
    if (const int error = temp.create(path)) return error;
    if (const int error = writeAll(temp.handle(), bytes.data(), bytes.size())) return error;
    if (flush == Flush::toDisk && !FlushFileBuffers(temp.handle())) return lastErrno();
    LARGE_INTEGER written{};
    if (!GetFileSizeEx(temp.handle(), &written)) return lastErrno();
    if (static_cast<std::uint64_t>(written.QuadPart) != bytes.size()) return EIO;
    if (const int error = temp.close()) return error;
    return temp.commit(path, true);
}

std::size_t removeStaleTemporaryFiles(const fs::path& folder, FileTime before) {
    const std::wstring base = systemPath(folder);
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW((base + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return 0;
    std::size_t removed = 0;
    do {
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (!isTemporaryName(toUtf8(fs::path(entry.cFileName)))) continue;
        const std::wstring path = base + L"\\" + entry.cFileName;
        // A copy's temporary file carries its source's old modification time from the start,
        // so the change time tells when it was last written.
        FILE_BASIC_INFO times{};
        {
            const Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, windows::kShareAll,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
            if (!file.valid() ||
                !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &times, sizeof times))
                continue;
        }
        const auto time = [](const LARGE_INTEGER& value) {
            return windows::fromFileTime(
                FILETIME{static_cast<DWORD>(value.LowPart), static_cast<DWORD>(value.HighPart)});
        };
        if (time(times.ChangeTime) >= before || time(times.LastWriteTime) >= before) continue;
        if (DeleteFileW(path.c_str())) ++removed;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return removed;
}

}  // namespace morrowdeck::platform
