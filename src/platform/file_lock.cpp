#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace morrowdeck::platform {

FileLock::FileLock(FileLock&& other) noexcept
    : file_(std::move(other.file_)), fd_(std::exchange(other.fd_, -1)) {}

int FileLock::acquire(const std::filesystem::path& file) {
    release();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return errno;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        // The holder before us removes the file before releasing it: a lock taken on a file
        // that is no longer under the name guards nothing, so take the one there now.
        struct stat locked {}, named {};
        if (::fstat(fd, &locked) == 0 && ::lstat(file.c_str(), &named) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            file_ = file;
            fd_ = fd;
            return 0;
        }
        ::close(fd);
    }
    return EWOULDBLOCK;
}

void FileLock::release() {
    if (fd_ < 0) return;
    // Removed while still locked, so a taker never locks a file that is about to go.
    ::unlink(file_.c_str());
    ::close(fd_);
    fd_ = -1;
}

}  // namespace morrowdeck::platform
