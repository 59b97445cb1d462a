#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

namespace morrowdeck::platform {

namespace {

bool statPath(const std::filesystem::path& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool fileExists(const std::filesystem::path& path) {
    struct stat info {};
    return statPath(path, info);
}

bool isDirectory(const std::filesystem::path& path) {
    struct stat info {};
    return statPath(path, info) && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::filesystem::path& path) {
    struct stat info {};
    return statPath(path, info) && S_ISREG(info.st_mode);
}

bool isRealDirectory(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool removeEmptyFolder(const std::filesystem::path& folder) {
    return ::rmdir(folder.c_str()) == 0;
}

std::optional<std::vector<std::string>> listDirectory(const std::filesystem::path& directory,
                                                      HiddenEntries hidden) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (name[0] == '.' && hidden == HiddenEntries::skip) continue;
        names.emplace_back(entry->d_name);
    }
    if (errno != 0) return std::nullopt;
    return names;
}

bool readFileInto(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    return readFileAtMost(path, std::numeric_limits<std::uint64_t>::max(), bytes) == 0;
}

int readFileAtMost(const std::filesystem::path& path, std::uint64_t maxBytes,
                   std::vector<std::uint8_t>& bytes) {
    // O_NONBLOCK keeps open() from waiting for a writer when the path is a FIFO.
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return errno;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) return errno;
    if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return EFBIG;

    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    std::uint8_t probe[4096];  // files that report no size (/proc) or grew are read on here
    for (;;) {
        const bool room = filled < bytes.size();
        const ssize_t got = room ? ::read(file.fd, bytes.data() + filled, bytes.size() - filled)
                                 : ::read(file.fd, probe, sizeof probe);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
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
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return false;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) != bytes.size())
        return false;
    std::uint8_t piece[65536];
    std::size_t compared = 0;
    for (;;) {
        const ssize_t got = ::read(file.fd, piece, sizeof piece);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return compared == bytes.size();
        const auto size = static_cast<std::size_t>(got);
        if (size > bytes.size() - compared ||
            std::memcmp(piece, bytes.data() + compared, size) != 0)
            return false;
        compared += size;
    }
}

}  // namespace morrowdeck::platform
