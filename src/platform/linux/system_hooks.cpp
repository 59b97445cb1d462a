#include "platform/posix/system_hooks.h"

#include <fcntl.h>
#include <linux/fs.h>  // FICLONE
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace morrowdeck::platform::hooks {

namespace {

enum class KernelCopy { endOfFile, unsupported, failed };

// Runs one kernel-side copy primitive until it reports end of file or that it cannot serve
// this pair of files. `error` holds errno when the result is `failed`.
template <typename Transfer>
KernelCopy kernelCopy(Transfer transfer, int& error) {
    for (;;) {
        const ssize_t moved = transfer();
        if (moved > 0) continue;
        if (moved == 0) return KernelCopy::endOfFile;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) {
            return KernelCopy::unsupported;
        }
        error = errno;
        return KernelCopy::failed;
    }
}

}  // namespace

void adviseSequentialRead(int fd) {
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

int copyInKernel(int in, int out, detail::CopyMethod first) {
    using detail::CopyMethod;
    if (first == CopyMethod::clone && ::ioctl(out, FICLONE, in) == 0) return 0;
    // The kernel-side copies work through both files' positions, so whichever step stops, the
    // next one carries on where it left off.
    int error = 0;
    KernelCopy result = KernelCopy::unsupported;
    if (first <= CopyMethod::copyFileRange) {
        result = kernelCopy(
            [&] { return ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0); },
            error);
    }
    if (result == KernelCopy::unsupported && first <= CopyMethod::sendfile) {
        result =
            kernelCopy([&] { return ::sendfile(out, in, nullptr, std::size_t{1} << 30); }, error);
    }
    return result == KernelCopy::failed ? error : 0;
}

int renameNoReplace(const char* from, const char* to) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
    const int result = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
    const int result =
        static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1u << 0));
#endif
    return result == 0 ? 0 : errno;
}

int syncFileSystem(int fd) {
    return ::syncfs(fd) == 0 ? 0 : errno;
}

bool flushesWholeFileSystem() {
    return true;
}

bool fillRandom(unsigned char* bytes, std::size_t size) {
    return ::getrandom(bytes, size, GRND_NONBLOCK) == static_cast<ssize_t>(size);
}

int openFolderForQueries(const char* path) {
    return ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace morrowdeck::platform::hooks
