#include <cerrno>
#include <string_view>
#include <utility>

#include "platform/file_operations.h"

namespace morrowdeck::platform {

namespace {

// The English texts of the errors a file copy, a lock or a database write can meet, worded as
// the GNU C library words them so that the lines read the same on every system. A table rather
// than strerror(): that follows the process locale once a GUI sets it, and its texts differ
// between systems; log lines and the report stay one English. Where two names share a number
// (EAGAIN and EWOULDBLOCK on most systems) the first row answers.
constexpr std::pair<int, std::string_view> kTexts[] = {
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or directory"},
    {ESRCH, "No such process"},
    {EINTR, "Interrupted system call"},
    {EIO, "Input/output error"},
    {ENXIO, "No such device or address"},
    {E2BIG, "Argument list too long"},
    {ENOEXEC, "Exec format error"},
    {EBADF, "Bad file descriptor"},
    {ECHILD, "No child processes"},
    {EAGAIN, "Resource temporarily unavailable"},
    {EWOULDBLOCK, "Resource temporarily unavailable"},
    {ENOMEM, "Cannot allocate memory"},
    {EACCES, "Permission denied"},
    {EFAULT, "Bad address"},
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {EXDEV, "Invalid cross-device link"},
    {ENODEV, "No such device"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {ENFILE, "Too many open files in system"},
    {EMFILE, "Too many open files"},
    {ENOTTY, "Inappropriate ioctl for device"},
    {ETXTBSY, "Text file busy"},
    {EFBIG, "File too large"},
    {ENOSPC, "No space left on device"},
    {ESPIPE, "Illegal seek"},
    {EROFS, "Read-only file system"},
    {EMLINK, "Too many links"},
    {EPIPE, "Broken pipe"},
    {EDOM, "Numerical argument out of domain"},
    {ERANGE, "Numerical result out of range"},
    {EDEADLK, "Resource deadlock avoided"},
    {ENAMETOOLONG, "File name too long"},
    {ENOLCK, "No locks available"},
    {ENOSYS, "Function not implemented"},
    {ENOTEMPTY, "Directory not empty"},
    {ELOOP, "Too many levels of symbolic links"},
    {EOVERFLOW, "Value too large for defined data type"},
    {EILSEQ, "Invalid or incomplete multibyte or wide character"},
    {ENOTSOCK, "Socket operation on non-socket"},
    {EOPNOTSUPP, "Operation not supported"},
    {ENOTSUP, "Operation not supported"},
    {ENETDOWN, "Network is down"},
    {ENETUNREACH, "Network is unreachable"},
    {ECONNABORTED, "Software caused connection abort"},
    {ECONNRESET, "Connection reset by peer"},
    {ENOBUFS, "No buffer space available"},
    {ENOTCONN, "Transport endpoint is not connected"},
    {ETIMEDOUT, "Connection timed out"},
    {ECONNREFUSED, "Connection refused"},
    {EHOSTUNREACH, "No route to host"},
    {EALREADY, "Operation already in progress"},
    {EINPROGRESS, "Operation now in progress"},
#ifdef ESTALE
    {ESTALE, "Stale file handle"},
#endif
#ifdef EDQUOT
    {EDQUOT, "Disk quota exceeded"},
#endif
    {ECANCELED, "Operation canceled"},
    {EOWNERDEAD, "Owner died"},
    {ENOTRECOVERABLE, "State not recoverable"},
    {EPROTO, "Protocol error"},
    {ENODATA, "No data available"},
    {ENOLINK, "Link has been severed"},
#ifdef EMULTIHOP
    {EMULTIHOP, "Multihop attempted"},
#endif
    {EBADMSG, "Bad message"},
    {ETIME, "Timer expired"},
#ifdef EHOSTDOWN
    {EHOSTDOWN, "Host is down"},
#endif
#ifdef EUCLEAN
    {EUCLEAN, "Structure needs cleaning"},
#endif
#ifdef ENOMEDIUM
    {ENOMEDIUM, "No medium found"},
#endif
#ifdef EMEDIUMTYPE
    {EMEDIUMTYPE, "Wrong medium type"},
#endif
#ifdef EREMOTEIO
    {EREMOTEIO, "Remote I/O error"},
#endif
#ifdef ENOKEY
    {ENOKEY, "Required key not available"},
#endif
#ifdef EKEYREVOKED
    {EKEYREVOKED, "Key has been revoked"},
#endif
};

}  // namespace

std::string errorText(int error) {
    for (const auto& [number, text] : kTexts)
        if (number == error) return std::string(text);
    return "Unknown error " + std::to_string(error);
}

}  // namespace morrowdeck::platform
