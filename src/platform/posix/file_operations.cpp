#include "platform/file_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/posix/system_hooks.h"
#include "platform/shared_file_operations.h"

namespace morrowdeck::platform {

namespace {

namespace fs = std::filesystem;

// The user-space copy's piece: small enough to stay in the core's own cache between the read,
// the hash and the write, so each byte leaves memory once. A 1 MiB piece spilled out of it and
// cost a hashed backup about an eighth more time.
constexpr std::size_t kBufferSize = 1 << 18;

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// rename(2) that never replaces: the backend's no-replace rename; where the system or the file
// system cannot do that (FUSE servers without rename2, plain POSIX), link(2), which refuses an
// existing target just the same, and unlink(2) of the old name; where there are no hard links
// either, a check of the target followed by rename. 0 or errno.
int moveNoReplace(const char* from, const char* to) {
    const int error = hooks::renameNoReplace(from, to);
    if (error != EINVAL && error != ENOSYS) return error;
    if (::link(from, to) == 0) {
        ::unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    struct stat existing {};
    if (::lstat(to, &existing) == 0) return EEXIST;
    return ::rename(from, to) == 0 ? 0 : errno;
}

int writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// A hidden temporary file beside a target, written through fd() and then renamed onto the
// target by commit(). Until then the destructor closes and removes it, so every early return
// of a failing copy or write cleans up. Owned by one thread.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    // Creates the file with O_EXCL (`mode` before the umask); 0 or errno.
    int create(const fs::path& target, mode_t mode) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = shared::temporaryPath(target);
            fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ >= 0) {
                path_ = std::move(candidate);
                return 0;
            }
            if (errno != EEXIST) return errno;
        }
        return EEXIST;
    }

    int fd() const { return fd_; }
    const fs::path& path() const { return path_; }

    // close(2) with its result: a network file system may report a failed write only here.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

    // Moves the closed file onto the target; 0 or errno (EEXIST when not replacing and the
    // target exists).
    int commit(const fs::path& target, bool replaceExisting) {
        if (replaceExisting) {
            if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
            path_.clear();
            return 0;
        }
        const int error = hooks::renameNoReplace(path_.c_str(), target.c_str());
        if (error == 0) path_.clear();
        if (error != EINVAL && error != ENOSYS) return error;
        // The file system cannot rename without replacing (FUSE servers without rename2, such
        // as ntfs-3g): link() refuses an existing target just the same. The destructor then
        // removes the temporary name.
        if (::link(path_.c_str(), target.c_str()) == 0) return 0;
        if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
        // No hard links either: check, then rename. Only a writer racing into that gap could
        // be replaced, and callers never run two jobs for one destination at once.
        struct stat existing {};
        if (::lstat(target.c_str(), &existing) == 0) return EEXIST;
        if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
        path_.clear();
        return 0;
    }

  private:
    fs::path path_;
    int fd_ = -1;
};

int readWriteCopy(int in, int out, const DataSink* sink) {
    // One buffer per thread for its life: a fresh one per file would be mapped, faulted in
    // and zeroed by the kernel again for every file a backup hashes.
    thread_local const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    for (;;) {
        const ssize_t got = ::read(in, buffer.get(), kBufferSize);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        if (sink) (*sink)({buffer.get(), static_cast<std::size_t>(got)});
        if (const int error = writeAll(out, buffer.get(), static_cast<std::size_t>(got))) {
            return error;
        }
    }
}

}  // namespace

namespace detail {

int copyData(int in, int out, CopyMethod first, const DataSink* sink) {
    if (sink) return readWriteCopy(in, out, sink);
    if (first != CopyMethod::readWrite) {
        if (const int error = hooks::copyInKernel(in, out, first)) return error;
    }
    // Also after a kernel copy reported end of file: some file systems answer 0 early, and
    // one read() that returns 0 confirms the end.
    return readWriteCopy(in, out, nullptr);
}

}  // namespace detail

std::optional<FileInfo> fileInfo(const fs::path& path) {
    return fileInfo(path.c_str());
}

std::optional<FileInfo> fileInfo(const char* path) {
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    FileInfo result;
    result.size = info.st_size;
    result.mtime = FileTime(std::chrono::seconds(info.st_mtim.tv_sec) +
                            std::chrono::nanoseconds(info.st_mtim.tv_nsec));
    result.device = info.st_dev;
    result.inode = info.st_ino;
    return result;
}

bool itemExists(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

namespace {

// The folder holding a name just made, flushed where the run's end cannot flush it. 0 or errno.
int flushNewName(const fs::path& name) {
    if (hooks::flushesWholeFileSystem()) return 0;
    return syncFolder(name.has_parent_path() ? name.parent_path() : fs::path("."));
}

// Opens `source` (a regular file, never waiting on a FIFO's writer), copies its data into a
// new temporary file beside `dest` and gives it the source's permissions (best effort: FAT and
// some network shares refuse them). 0 or errno; `info` is the source's stat.
int copyIntoTemporary(const fs::path& source, const fs::path& dest, const DataSink* sink,
                      FileDescriptor& in, struct stat& info, TempFile& temp) {
    // O_NONBLOCK keeps open() from waiting for a writer when the source is a FIFO.
    in.fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in.fd < 0) return errno;
    if (::fstat(in.fd, &info) != 0) return errno;
    if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    const int flags = ::fcntl(in.fd, F_GETFL);
    if (flags < 0 || ::fcntl(in.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
    if (const int error = temp.create(dest, 0600)) return error;
    if (const int error = detail::copyData(in.fd, temp.fd(), detail::CopyMethod::clone, sink))
        return error;
    (void)::fchmod(temp.fd(), info.st_mode & 0777);
    return 0;
}

}  // namespace

int copyFile(const fs::path& source, const fs::path& dest, bool replaceExisting,
             const fs::path& keepAs, const DataSink* sink, const CopyCheck* check) {
    if (!dest.has_filename()) return EINVAL;
    struct stat existing {};
    if (::lstat(dest.c_str(), &existing) == 0) {
        if (!replaceExisting) return EEXIST;
        if (S_ISDIR(existing.st_mode)) return EISDIR;
    }

    FileDescriptor in;
    struct stat info {};
    TempFile temp;
    if (const int error = copyIntoTemporary(source, dest, sink, in, info, temp)) return error;
    // Last, as every write moves the modification time. No fsync where the run's end flushes
    // the whole file system: an interrupted backup is repaired by the next run, and syncing
    // every audio file would make backups far slower. Elsewhere that end flush cannot reach
    // this file, so it is flushed here, and its folder once it has its name.
    const bool flushHere = !hooks::flushesWholeFileSystem();
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(temp.fd(), times) != 0) return errno;
    if (flushHere && ::fsync(temp.fd()) != 0) return errno;
    if (const int error = temp.close()) return error;
    if (check != nullptr)
        if (const int error = (*check)()) return error;
    int error = 0;
    if (!replaceExisting) {
        error = temp.commit(dest, false);
    } else {
        const shared::KeptAside kept = shared::keepAside(dest, keepAs);
        if (kept.error != 0) return kept.error;
        error = temp.commit(dest, true);
        if (error != 0 && kept.moved) moveNoReplace(keepAs.c_str(), dest.c_str());
    }
    return error == 0 ? flushNewName(dest) : error;
}

int copyFileDurably(const fs::path& source, const fs::path& dest, const DataSink* sink) {
    if (!dest.has_filename()) return EINVAL;
    if (itemExists(dest)) return EEXIST;
    FileDescriptor in;
    struct stat info {};
    TempFile temp;
    if (const int error = copyIntoTemporary(source, dest, sink, in, info, temp)) return error;
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(temp.fd(), times) != 0) return errno;
    if (::fsync(temp.fd()) != 0) return errno;
    if (const int error = temp.close()) return error;
    return temp.commit(dest, false);
}

int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    return moveNoReplace(from.c_str(), to.c_str());
}

int appendToFile(const fs::path& path, std::string_view text) {
    FileDescriptor out{::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)};
    if (out.fd < 0) return errno;
    return writeAll(out.fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

int removeTree(const fs::path& folder, std::int64_t& freed) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode))
            freed += info.st_size;
    }
    if (error) return error.value();
    fs::remove_all(folder, error);
    return error.value();
}


namespace shared {

bool fillRandom(unsigned char* bytes, std::size_t size) {
    return hooks::fillRandom(bytes, size);
}

}  // namespace shared

int hardLink(const fs::path& existing, const fs::path& link) {
    if (::link(existing.c_str(), link.c_str()) != 0) return errno;
    return flushNewName(link);
}

int replaceWithLink(const fs::path& existing, const fs::path& dest, const fs::path& keepAs) {
    if (!dest.has_filename()) return EINVAL;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path temp = shared::temporaryPath(dest);
        if (::link(existing.c_str(), temp.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        const shared::KeptAside kept = shared::keepAside(dest, keepAs);
        int error = kept.error;
        if (error == 0) error = ::rename(temp.c_str(), dest.c_str()) == 0 ? 0 : errno;
        if (error != 0 && kept.moved) moveNoReplace(keepAs.c_str(), dest.c_str());
        // Also after success: rename() keeps both names when dest already is this very file.
        ::unlink(temp.c_str());
        return error == 0 ? flushNewName(dest) : error;
    }
    return EEXIST;
}

int removeFile(const fs::path& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int createDirectories(const fs::path& path) {
    if (path.empty()) return ENOENT;
    if (::mkdir(path.c_str(), 0777) == 0) return 0;
    int error = errno;
    if (error == ENOENT) {
        const fs::path parent = path.parent_path();
        if (parent.empty() || parent == path) return error;
        if (const int parentError = createDirectories(parent)) return parentError;
        if (::mkdir(path.c_str(), 0777) == 0) return 0;
        error = errno;
    }
    if (error != EEXIST) return error;
    // Something is there already (perhaps made by another thread just now): fine if a folder.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return EEXIST;  // a dangling symbolic link
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

bool isWritableDirectory(const fs::path& path) {
    TempFile probe;
    return probe.create(path / "write-test", 0600) == 0;  // removed by the destructor
}

WriteAccess writeAccess(const fs::path& folder) {
    fs::path probe = folder;
    struct stat info {};
    while (::stat(probe.c_str(), &info) != 0) {
        if (errno == ENOTDIR) return WriteAccess::denied;  // a file on the way
        if (probe == probe.parent_path() || probe.empty()) return WriteAccess::writable;
        probe = probe.parent_path();
    }
    if (!S_ISDIR(info.st_mode)) return WriteAccess::denied;
    // A read-only mount answers with zero free bytes, which is not the problem to name.
    struct statvfs volume {};
    if (::statvfs(probe.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0)
        return WriteAccess::readOnly;
    if (::access(probe.c_str(), W_OK | X_OK) == 0) return WriteAccess::writable;
    if (errno == EROFS) return WriteAccess::readOnly;
    if (errno == EACCES || errno == EPERM) return WriteAccess::denied;
    return WriteAccess::writable;  // not known here: the run's own checks will say
}

std::optional<std::int64_t> freeSpace(const fs::path& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

std::optional<std::int64_t> allocationUnit(const fs::path& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::int64_t>(info.f_frsize > 0 ? info.f_frsize : info.f_bsize);
}

std::chrono::nanoseconds probeTimestampGranularity(const fs::path& folder) {
    TempFile probe;  // removed by its destructor
    if (probe.create(folder / "timestamp-probe", 0600) == 0) {
        const auto since = detail::probeTime.time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
        const timespec time{static_cast<time_t>(seconds.count()),
                            static_cast<long>((since - seconds).count())};
        const timespec times[2] = {time, time};
        // Read back by name after the close: what a later run's stat() will see.
        if (::futimens(probe.fd(), times) == 0 && probe.close() == 0)
            if (const auto info = fileInfo(probe.path()))
                if (const auto granularity = detail::granularityFromProbe(info->mtime))
                    return *granularity;
    }
    return timestampGranularity(folder);
}

FileSystemSync::FileSystemSync(const fs::path& folder)
    : folder_(folder), fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) openError_ = errno;
}

FileSystemSync::~FileSystemSync() {
    if (fd_ >= 0) ::close(fd_);
}

FileSystemSync::FileSystemSync(FileSystemSync&& other) noexcept
    : folder_(std::move(other.folder_)), fd_(other.fd_), openError_(other.openError_) {
    other.fd_ = -1;
}

int FileSystemSync::sync() const {
    if (fd_ < 0) return openError_;
    const int error = hooks::syncFileSystem(fd_);
    if (error != ENOSYS) return error;
    return ::fsync(fd_) == 0 ? 0 : errno;
}

std::vector<FileSystemSync> FileSystemSync::forFolders(const std::vector<fs::path>& folders) {
    std::vector<FileSystemSync> syncs;
    std::vector<dev_t> devices;
    for (const auto& folder : folders) {
        FileSystemSync handle(folder);
        struct stat info {};
        if (handle.fd_ >= 0 && ::fstat(handle.fd_, &info) == 0) {
            if (std::find(devices.begin(), devices.end(), info.st_dev) != devices.end()) continue;
            devices.push_back(info.st_dev);
        }
        syncs.push_back(std::move(handle));
    }
    return syncs;
}

int syncFolder(const fs::path& folder) {
    FileDescriptor dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return errno;
    return ::fsync(dir.fd) == 0 ? 0 : errno;
}

int syncFile(const fs::path& file) {
    FileDescriptor opened{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    if (opened.fd < 0) return errno;
    return ::fsync(opened.fd) == 0 ? 0 : errno;
}

std::optional<fs::path> resolvedPath(const fs::path& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) return std::nullopt;
    return fs::path(resolved.get());
}

int writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes, Flush flush) {
    if (!path.has_filename()) return EINVAL;
    struct stat existing {};
    const bool replacing = ::stat(path.c_str(), &existing) == 0;

    TempFile temp;
    if (const int error = temp.create(path, 0666)) return error;
    // The new content keeps the permissions of the file it replaces.
    if (replacing) (void)::fchmod(temp.fd(), existing.st_mode & 0777);
    if (const int error = writeAll(temp.fd(), bytes.data(), bytes.size())) return error;
    if (flush == Flush::toDisk && ::fsync(temp.fd()) != 0) return errno;
    struct stat written {};
    if (::fstat(temp.fd(), &written) != 0) return errno;
    if (static_cast<std::uint64_t>(written.st_size) != bytes.size()) return EIO;
    if (const int error = temp.close()) return error;
    return temp.commit(path, true);
}

std::size_t removeStaleTemporaryFiles(const fs::path& folder, FileTime before) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) return 0;
    const auto time = [](const timespec& t) {
        return FileTime(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
    };
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isTemporaryName(entry->d_name)) continue;
        // A copy's temporary file carries its source's old modification time from the start,
        // so the status-change time tells when it was last written.
        struct stat info {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || time(info.st_ctim) >= before ||
            time(info.st_mtim) >= before) {
            continue;
        }
        if (::unlinkat(::dirfd(dir.get()), entry->d_name, 0) == 0) ++removed;
    }
    return removed;
}

}  // namespace morrowdeck::platform
