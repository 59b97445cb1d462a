#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/file_operations.h"

namespace morrowdeck::platform {

// What a name holds. A query that follows symbolic links never answers symbolicLink: it
// answers what the link leads to, or nothing when it leads nowhere.
enum class EntryKind { nothing, regular, folder, symbolicLink, other };

// Whether a query looks through a symbolic link at what it leads to, or at the link itself.
enum class SymbolicLinks { follow, noFollow };

// What a query found: its kind, and for anything found its size, modification time, the
// device and inode that identify it and its number of hard links.
struct EntryStatus {
    EntryKind kind = EntryKind::nothing;
    std::int64_t size = 0;
    FileTime mtime{};
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 0;
};

// True when both name the same item of the same file system (neither of them nothing).
bool sameItem(const EntryStatus& a, const EntryStatus& b);

// The status of a path: 0, or errno with out.kind nothing (ENOENT when nothing is there).
int itemStatus(const std::filesystem::path& path, SymbolicLinks links, EntryStatus& out);

// A folder opened once and then asked about the entries directly inside it by name, so that a
// run touching many files of one folder does not walk the folder's full path for each of
// them. Move-only; status() may be called from several threads at once.
class FolderHandle {
  public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // Opens the folder (closing any held before). 0 or errno (ENOTDIR for anything else).
    int open(const std::filesystem::path& folder);

    bool isOpen() const { return fd_ >= 0; }

    // The status of the entry `name` (one name, no separator) in the folder: 0, or errno with
    // out.kind nothing (EBADF when the folder is not open).
    int status(const std::string& name, SymbolicLinks links, EntryStatus& out) const;

  private:
    void close();

    int fd_ = -1;
};

}  // namespace morrowdeck::platform
