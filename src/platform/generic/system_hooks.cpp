#include "platform/posix/system_hooks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace morrowdeck::platform::hooks {

// posix_fadvise is optional in POSIX and missing on macOS: read-ahead is left to the system.
void adviseSequentialRead(int) {}

// No kernel-side copy in POSIX: the caller's read/write loop copies everything.
int copyInKernel(int, int, detail::CopyMethod) {
    return 0;
}

// POSIX rename(2) always replaces; the caller makes a link instead, which never does.
int renameNoReplace(const char*, const char*) {
    return ENOSYS;
}

int syncFileSystem(int) {
    return ENOSYS;
}

// /dev/urandom is on every POSIX system that matters (a backend for a system with arc4random
// or getentropy can use that instead); opened per call, as names are made rarely.
bool flushesWholeFileSystem() {
    return false;
}

bool fillRandom(unsigned char* bytes, std::size_t size) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, bytes + filled, size - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return filled == size;
}

// O_PATH is Linux's: a folder opened for reading serves fstatat as well.
int openFolderForQueries(const char* path) {
    return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace morrowdeck::platform::hooks
