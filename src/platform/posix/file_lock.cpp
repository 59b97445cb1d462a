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
        // Not following a link, and not waiting on a FIFO: whatever is there is looked at
        // before it is locked.
        const int fd =
            ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0) {
            const int error = errno;
            struct stat there {};
            if ((error == ELOOP || error == EISDIR || error == ENXIO) &&
                ::lstat(file.c_str(), &there) == 0 && !S_ISREG(there.st_mode))
                return notRegularFile;
            return error;
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return notRegularFile;
        }
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

bool FileLock::isUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

void FileLock::release() {
    if (fd_ < 0) return;
    // Removed while still locked, so a taker never locks a file that is about to go.
    ::unlink(file_.c_str());
    ::close(fd_);
    fd_ = -1;
}

}  // namespace morrowdeck::platform
