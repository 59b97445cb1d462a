#include "platform/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/system_hooks.h"

namespace morrowdeck::platform {

void ReadOnlyFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

int ReadOnlyFile::open(const std::filesystem::path& path) {
    close();
    // O_NONBLOCK keeps open() from waiting for a writer when the path is a FIFO.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    fd_ = fd;
    size_ = static_cast<std::int64_t>(info.st_size);
    return 0;
}

void ReadOnlyFile::adviseSequentialRead() const {
    if (fd_ >= 0) hooks::adviseSequentialRead(fd_);
}

int ReadOnlyFile::read(std::span<std::uint8_t> buffer, std::size_t& got) {
    got = 0;
    if (fd_ < 0) return EBADF;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR) return errno;
    }
}

int ReadOnlyFile::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                         std::size_t& got) const {
    got = 0;
    if (fd_ < 0) return EBADF;
    while (got < buffer.size()) {
        const ssize_t n = ::pread(fd_, buffer.data() + got, buffer.size() - got,
                                  static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace morrowdeck::platform
