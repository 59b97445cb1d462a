#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// File operations of the backup and restore engines. Thread-safe; every failure comes back as
// an errno value (0 = success) so that callers can count and log it without exceptions.
namespace morrowdeck::platform {

using FileTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

// Size and modification time of a regular file.
struct FileInfo {
    std::int64_t size = 0;
    FileTime mtime{};
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// Info for a regular file (symbolic links followed); absent for anything else, missing or
// unreadable paths included.
std::optional<FileInfo> fileInfo(const std::filesystem::path& path);
std::optional<FileInfo> fileInfo(const char* path);

// True when anything (file, folder, dangling symbolic link) exists at the path.
bool itemExists(const std::filesystem::path& path);

// Copies a regular file without ever leaving a partial file under the destination name: the
// data goes to a hidden temporary file in the destination folder (reflink, then
// copy_file_range, then sendfile, then read/write; never read whole into memory), gets the
// source's access and modification times, is flushed and closed, and is then renamed onto
// dest. With replaceExisting false the call fails with EEXIST when dest exists (checked
// before copying and enforced at the rename with renameat2(RENAME_NOREPLACE) or link());
// with true an existing regular file at dest is replaced atomically, so a failed re-copy
// keeps the old copy. The temporary file is removed on every failure. Returns 0 or errno.
// A non-empty keepAs keeps the file being replaced: it is renamed to keepAs (folders created;
// no data copied) just before the new copy takes its name, and renamed back when that fails.
// A keepAs on another volume (the rename fails with EXDEV) gets a synced copy instead, and a
// copy that fails fails the call with dest left as it was. A file already at keepAs is left
// as it is and dest is then replaced without keeping.
//
// With a sink, the data is copied by read/write only and the sink sees every piece in order
// as it passes, so a caller can hash the file without reading it a second time.
// With a check, the complete copy is checked (e.g. its hash from the sink) before it takes
// dest's name: a non-zero answer is returned, the copy removed and dest left as it was.
using DataSink = std::function<void(std::span<const std::uint8_t>)>;
using CopyCheck = std::function<int()>;
int copyFile(const std::filesystem::path& source, const std::filesystem::path& dest,
             bool replaceExisting, const std::filesystem::path& keepAs = {},
             const DataSink* sink = nullptr, const CopyCheck* check = nullptr);

// link(2): 0 or errno (EEXIST when dest exists; EXDEV across file systems; EPERM on FAT).
int hardLink(const std::filesystem::path& existing, const std::filesystem::path& link);

// Makes dest a hard link to `existing`, replacing whatever file is there atomically: the link is
// made under a hidden temporary name in dest's folder and renamed onto dest, so dest always
// names the old file or the new link and a failure leaves the old file in place. 0 or errno
// (link(2)'s errors, e.g. EXDEV or EPERM where hard links are impossible; EISDIR for a folder).
// keepAs keeps the replaced file as copyFile's does; nothing is moved when no link can be made.
int replaceWithLink(const std::filesystem::path& existing, const std::filesystem::path& dest,
                    const std::filesystem::path& keepAs = {});

// Copies a regular file to a new name (never replacing: EEXIST when dest exists) and flushes it
// to the disk before it takes that name, keeping the source's permissions and dates: a copy
// that survives a power loss, for keeping a file before it is changed. The sink sees the data
// as it passes (read/write only). 0 or errno; nothing is left at dest on failure.
int copyFileDurably(const std::filesystem::path& source, const std::filesystem::path& dest,
                    const DataSink* sink = nullptr);

// Gives a closed file a new name in the same file system without ever replacing what is
// there: EEXIST when something exists at `to`, checked by the rename itself (renameat2 with
// RENAME_NOREPLACE, or link(2) and unlink(2) where the file system cannot do that), so a file
// that appears at `to` meanwhile is never overwritten. Only on a file system without either
// is it a check followed by rename(2). 0 or errno; `from` keeps its name on failure.
int renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Appends the text to a file (created when missing) in one write(2). 0 or errno.
int appendToFile(const std::filesystem::path& path, std::string_view text);

// Removes a folder and everything below it (symbolic links are removed, not followed). The
// bytes the removed regular files held are added to `freed`. 0 or errno.
int removeTree(const std::filesystem::path& folder, std::int64_t& freed);

// unlink(2) of one file: 0 or errno.
int removeFile(const std::filesystem::path& path);

// Creates the folder and its missing parents; 0 when it exists afterwards, else errno
// (ENOTDIR when a file is in the way).
int createDirectories(const std::filesystem::path& path);

// True when a file can be created in the folder (a temporary file is created and removed;
// access(W_OK) would say yes to root on a read-only mount).
bool isWritableDirectory(const std::filesystem::path& path);

// Whether new files can be made in a folder, asked without writing anything: for a folder
// not made yet, of its nearest existing ancestor. readOnly: the volume is mounted read-only;
// denied: the folder is closed to this user, or a file stands where a folder would go.
enum class WriteAccess { writable, readOnly, denied };
WriteAccess writeAccess(const std::filesystem::path& folder);

// Bytes available to an unprivileged user on the volume holding the path (statvfs f_bavail
// × f_frsize); absent when the query fails.
std::optional<std::int64_t> freeSpace(const std::filesystem::path& path);

// The unit the volume holding the path allocates file data in (statvfs f_frsize): a file
// takes its size rounded up to it. Absent when the query fails.
std::optional<std::int64_t> allocationUnit(const std::filesystem::path& path);

// A guess at the modification-time resolution of the file system holding the path, from its
// type alone: 2 s on FAT, 10 ms on exFAT, 100 ns on NTFS and SMB shares, 1 s on HFS+ and on
// FUSE (whose servers range from 100 ns to whole seconds), 1 ns otherwise (and when unknown).
// Writes nothing, for callers that must not (a preview, a check of a backup); a run that
// writes measures with probeTimestampGranularity instead. A path that does not exist yet is
// answered for its nearest existing ancestor.
std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path);

// The same resolution for a statfs() f_type value.
std::chrono::nanoseconds granularityForFileSystemType(long type);
// The same resolution for a file system type as the mount table or the volume names it ("vfat",
// "exfat", "fuseblk", "ntfs3", "cifs", "hfsplus", Windows' "NTFS", "FAT32", "exFAT", "ReFS", …;
// in any case), for systems that report names rather than numbers.
std::chrono::nanoseconds granularityForFileSystemName(std::string_view type);

// The size of the largest file the file system holding the path can store: 4 GiB less one
// byte on FAT, none where there is no limit a music file could reach or the type is unknown.
// Looked up like timestampGranularity, writing nothing.
std::optional<std::int64_t> largestFileSize(const std::filesystem::path& path);
// The same limit for a statfs() f_type value and for a file system type's name.
std::optional<std::int64_t> largestFileForFileSystemType(long type);
std::optional<std::int64_t> largestFileForFileSystemName(std::string_view type);

// The modification-time resolution of the file system holding an existing folder, measured:
// a hidden temporary file (named like a copy's, so a crash leaves nothing a later run keeps)
// gets a date with an odd second and odd nanoseconds, and the date read back tells what the
// file system kept. Falls back to the guess above when the probe cannot be made (read-only
// folder, dates refused). Costs a file creation: callers measure once per run.
std::chrono::nanoseconds probeTimestampGranularity(const std::filesystem::path& folder);

// Flushes the file system holding a folder to its disk. Opened before a run writes, so that
// sync() also reports a write-back error the kernel met while flushing in the background since
// then (syncfs; where that is missing, only the folder itself is flushed). Move-only.
class FileSystemSync {
  public:
    explicit FileSystemSync(const std::filesystem::path& folder);
    ~FileSystemSync();
    FileSystemSync(FileSystemSync&& other) noexcept;
    FileSystemSync& operator=(FileSystemSync&&) = delete;
    FileSystemSync(const FileSystemSync&) = delete;

    // 0 or errno (the open's errno when the folder could not be opened).
    int sync() const;
    const std::filesystem::path& folder() const { return folder_; }

    // One handle per distinct file system among the folders (in their order; a folder that
    // cannot be opened gets its own handle, whose sync() reports why).
    static std::vector<FileSystemSync> forFolders(
        const std::vector<std::filesystem::path>& folders);

  private:
    std::filesystem::path folder_;
    int fd_ = -1;
    int openError_ = 0;
};

// fsync(2) of a folder, so that the names just created or renamed in it survive a power
// loss. 0 or errno.
int syncFolder(const std::filesystem::path& folder);

// fsync(2) of a file another writer (SQLite) made, before it is renamed into place. 0 or errno.
int syncFile(const std::filesystem::path& file);

// The path with every symbolic link resolved (realpath); absent when a part of it is missing
// or cannot be read.
std::optional<std::filesystem::path> resolvedPath(const std::filesystem::path& path);

// Whether an atomic write waits for its bytes to reach the disk before the rename.
enum class Flush {
    toDisk,  // fsync: after a power loss the target holds the old or the new content
    // No fsync, for a file written just after gigabytes of cached copies: its flush would wait
    // for the device behind their writeback, and the file is no more durable than they are.
    cached,
};

// Writes the bytes to a temporary file beside the target, flushes it (see Flush), checks that
// the file holds as many bytes as were given (EIO otherwise) and renames it over the target,
// so readers see the old or the new content, never a mix. 0 or errno.
int writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                        Flush flush = Flush::toDisk);

// The same for text (UTF-8 or any bytes).
inline int writeFileAtomically(const std::filesystem::path& path, std::string_view text) {
    return writeFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// True for the hidden names the temporary files above are given before they are renamed into
// place: ".<name>.morrowdeck-" and six letters or digits.
bool isTemporaryName(std::string_view name);

// A fresh temporary name of that form beside `file`, for writers that create the file
// themselves (an SQLite copy) before renaming it into place.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& file);

// Removes the regular files with temporary names in the folder (not below it) whose status
// change and modification are both before `before`: what a process killed while writing left
// behind. Returns how many were removed; a folder that cannot be read gives 0.
std::size_t removeStaleTemporaryFiles(const std::filesystem::path& folder, FileTime before);

// Stable English text for an errno value ("No space left on device"), independent of the
// process locale.
std::string errorText(int error);

namespace detail {

// copyFile's data path, exposed so that tests can reach every fallback.
enum class CopyMethod { clone, copyFileRange, sendfile, readWrite };

// Copies from the current position of `in` to that of `out` until end of file (a clone takes
// the whole file), starting with `first` and falling back to the later methods where the kernel
// cannot serve the pair of files. 0 or errno. With a sink only read/write is used.
int copyData(int in, int out, CopyMethod first, const DataSink* sink = nullptr);

// The date probeTimestampGranularity gives its probe file: an odd second, odd nanoseconds.
inline constexpr FileTime probeTime{std::chrono::nanoseconds(1'000'000'001'123'456'789)};

// The resolution that turns probeTime into the date read back: the coarsest of 1 ns, 10 ns …
// 1 s, 2 s of which the date read back is a multiple and lies within one step of probeTime
// (file systems truncate or round). Absent when none fits (the file system kept another date).
std::optional<std::chrono::nanoseconds> granularityFromProbe(FileTime readBack);

}  // namespace detail

}  // namespace morrowdeck::platform
