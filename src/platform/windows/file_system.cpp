#include "platform/file_system.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/folder_handle.h"
#include "platform/path_text.h"
#include "platform/windows/file_handle.h"
#include "platform/windows/system_path.h"

namespace morrowdeck::platform {

namespace {

EntryKind kindOf(const std::filesystem::path& path, SymbolicLinks links) {
    EntryStatus status;
    return windows::pathStatus(path, links, status) == 0 ? status.kind : EntryKind::nothing;
}

// Opens a regular file for reading: 0 or errno (EISDIR for a folder, EINVAL for a device or
// pipe), with its size.
int openRegular(const std::filesystem::path& path, windows::Handle& file, std::int64_t& size) {
    file = windows::openPath(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file.valid()) return windows::lastErrno();
    EntryStatus status;
    if (const int error = windows::handleStatus(file.get(), status)) return error;
    if (status.kind != EntryKind::regular)
        return status.kind == EntryKind::folder ? EISDIR : EINVAL;
    size = status.size;
    return 0;
}

// One ReadFile of at most `size` bytes: 0 or errno, `got` 0 at the end of the file.
int readPiece(HANDLE file, std::uint8_t* data, std::size_t size, DWORD& got) {
    got = 0;
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (ReadFile(file, data, piece, &got, nullptr)) return 0;
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : windows::lastErrno();
}

}  // namespace

bool fileExists(const std::filesystem::path& path) {
    return kindOf(path, SymbolicLinks::follow) != EntryKind::nothing;
}

bool isDirectory(const std::filesystem::path& path) {
    return kindOf(path, SymbolicLinks::follow) == EntryKind::folder;
}

bool isRegularFile(const std::filesystem::path& path) {
    return kindOf(path, SymbolicLinks::follow) == EntryKind::regular;
}

bool isRealDirectory(const std::filesystem::path& path) {
    return kindOf(path, SymbolicLinks::noFollow) == EntryKind::folder;
}

// RemoveDirectoryW would also remove a link or junction to a folder, full or not: only a real
// folder is removed.
bool removeEmptyFolder(const std::filesystem::path& folder) {
    return isRealDirectory(folder) && RemoveDirectoryW(windows::systemPath(folder).c_str());
}

std::optional<std::vector<std::string>> listDirectory(const std::filesystem::path& directory,
                                                      HiddenEntries hidden) {
    WIN32_FIND_DATAW entry{};
    const HANDLE find =
        FindFirstFileExW((windows::systemPath(directory) + L"\\*").c_str(), FindExInfoBasic, &entry,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // A drive's root has no "." or "..": empty, it has no entries at all.
        if (GetLastError() == ERROR_FILE_NOT_FOUND && isDirectory(directory))
            return std::vector<std::string>{};
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        const std::wstring_view name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (name[0] == L'.' && hidden == HiddenEntries::skip) continue;
        names.push_back(toUtf8(std::filesystem::path(name)));
    } while (FindNextFileW(find, &entry));
    const DWORD end = GetLastError();
    FindClose(find);
    if (end != ERROR_NO_MORE_FILES) return std::nullopt;
    return names;
}

bool readFileInto(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    return readFileAtMost(path, std::numeric_limits<std::uint64_t>::max(), bytes) == 0;
}

int readFileAtMost(const std::filesystem::path& path, std::uint64_t maxBytes,
                   std::vector<std::uint8_t>& bytes) {
    windows::Handle file;
    std::int64_t size = 0;
    if (const int error = openRegular(path, file, size)) return error;
    if (static_cast<std::uint64_t>(size) > maxBytes) return EFBIG;

    bytes.resize(static_cast<std::size_t>(size));
    std::size_t filled = 0;
    std::uint8_t probe[4096];  // a file that grew since its size was read is read on here
    for (;;) {
        const bool room = filled < bytes.size();
        DWORD got = 0;
        const int error =
            room ? readPiece(file.get(), bytes.data() + filled, bytes.size() - filled, got)
                 : readPiece(file.get(), probe, sizeof probe, got);
        if (error != 0) return error;
        if (got == 0) break;
        filled += got;
        if (filled > maxBytes) return EFBIG;
        if (!room) bytes.insert(bytes.end(), probe, probe + got);
    }
    bytes.resize(filled);
    return 0;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes;
    if (!readFileInto(path, bytes)) return std::nullopt;
    return bytes;
}

bool fileHasContent(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    windows::Handle file;
    std::int64_t size = 0;
    if (openRegular(path, file, size) != 0 || static_cast<std::uint64_t>(size) != bytes.size())
        return false;
    std::uint8_t piece[65536];
    std::size_t compared = 0;
    for (;;) {
        DWORD got = 0;
        if (readPiece(file.get(), piece, sizeof piece, got) != 0) return false;
        if (got == 0) return compared == bytes.size();
        if (got > bytes.size() - compared || std::memcmp(piece, bytes.data() + compared, got) != 0)
            return false;
        compared += got;
    }
}

}  // namespace morrowdeck::platform
