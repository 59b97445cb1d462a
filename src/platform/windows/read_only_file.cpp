#include "platform/read_only_file.h"

#include <windows.h>
// After windows.h, which it needs.
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/windows/file_handle.h"
#include "platform/windows/system_path.h"

// The file is opened for overlapped reads, so that every read names its own offset: readAt may
// then run on several threads at once without touching the position read() goes on from, which
// is kept in the handle's file pointer (the system neither reads nor moves it for overlapped
// reads).
namespace morrowdeck::platform {

namespace {

// An event of one read to wait on: waiting on the file handle itself would wake on another
// thread's read. Made per read, not kept per thread: mingw-w64 frees a thread_local's storage
// before its destructor runs at thread exit, which crashed the program.
class ReadEvent {
  public:
    ReadEvent() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~ReadEvent() {
        if (event_ != nullptr) CloseHandle(event_);
    }
    ReadEvent(const ReadEvent&) = delete;
    ReadEvent& operator=(const ReadEvent&) = delete;
    HANDLE get() const { return event_; }

  private:
    HANDLE event_;
};

// One read of at most `size` bytes at `offset`: 0 or errno, `got` 0 at the end of the file.
int readPiece(HANDLE file, std::uint64_t offset, std::uint8_t* data, DWORD size, DWORD& got) {
    const ReadEvent event;
    if (event.get() == nullptr) return ENOMEM;
    OVERLAPPED request{};
    request.Offset = static_cast<DWORD>(offset);
    request.OffsetHigh = static_cast<DWORD>(offset >> 32);
    request.hEvent = event.get();
    got = 0;
    if (!ReadFile(file, data, size, nullptr, &request)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) return 0;
        if (error != ERROR_IO_PENDING) return windows::errnoFromWin32(error);
    }
    if (!GetOverlappedResult(file, &request, &got, TRUE)) {
        const DWORD error = GetLastError();
        got = 0;
        return error == ERROR_HANDLE_EOF ? 0 : windows::errnoFromWin32(error);
    }
    return 0;
}

DWORD pieceSize(std::size_t size) {
    return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
}

}  // namespace

void ReadOnlyFile::close() {
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    size_ = 0;
}

int ReadOnlyFile::open(const std::filesystem::path& path) {
    close();
    windows::Handle handle =
        windows::openPath(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    if (!handle.valid()) return windows::lastErrno();
    EntryStatus status;
    if (const int error = windows::handleStatus(handle.get(), status)) return error;
    if (status.kind != EntryKind::regular)
        return status.kind == EntryKind::folder ? EISDIR : EINVAL;
    int error = 0;
    const int fd = windows::toDescriptor(std::move(handle), error);
    if (fd < 0) return error;
    fd_ = fd;
    size_ = status.size;
    return 0;
}

// Windows takes the hint only when a file is opened (FILE_FLAG_SEQUENTIAL_SCAN), which would
// slow the scattered reads of tag readers: nothing to do here.
void ReadOnlyFile::adviseSequentialRead() const {}

int ReadOnlyFile::read(std::span<std::uint8_t> buffer, std::size_t& got) {
    got = 0;
    if (fd_ < 0) return EBADF;
    const HANDLE file = windows::handleOf(fd_);
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT))
        return windows::lastErrno();
    DWORD read = 0;
    if (const int error = readPiece(file, static_cast<std::uint64_t>(position.QuadPart),
                                    buffer.data(), pieceSize(buffer.size()), read))
        return error;
    position.QuadPart += read;
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return windows::lastErrno();
    got = read;
    return 0;
}

int ReadOnlyFile::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                         std::size_t& got) const {
    got = 0;
    if (fd_ < 0) return EBADF;
    const HANDLE file = windows::handleOf(fd_);
    while (got < buffer.size()) {
        DWORD read = 0;
        if (const int error = readPiece(file, offset + got, buffer.data() + got,
                                        pieceSize(buffer.size() - got), read))
            return error;
        if (read == 0) break;
        got += read;
    }
    return 0;
}

}  // namespace morrowdeck::platform
