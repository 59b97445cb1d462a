#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace morrowdeck::platform {

// A regular file opened for reading, closed when this goes. Only regular files are kept:
// the open never waits (a FIFO under the name does not stall it) and refuses a folder
// (EISDIR) and every other non-file (EINVAL). Move-only; one object is read by one thread at
// a time, except readAt, which keeps no position and may be called from several.
class ReadOnlyFile {
  public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens the file (closing any file held before). 0 or errno; on failure nothing is open.
    int open(const std::filesystem::path& path);

    bool isOpen() const { return fd_ >= 0; }

    // The file's size in bytes when it was opened.
    std::int64_t size() const { return size_; }

    // Tells the system the file will be read once, front to back, so that it may read further
    // ahead. Only a hint: nothing happens where the system has no such call.
    void adviseSequentialRead() const;

    // Reads the next bytes, at most buffer.size() (one system read; an interrupted one is
    // retried). `got` is 0 at the end of the file. 0 or errno (EBADF when nothing is open).
    int read(std::span<std::uint8_t> buffer, std::size_t& got);

    // Fills the buffer from `offset` without moving the position read() reads from, stopping
    // short only at the end of the file; `got` tells how much was filled, also on failure.
    // 0 or errno.
    int readAt(std::uint64_t offset, std::span<std::uint8_t> buffer, std::size_t& got) const;

  private:
    void close();

    int fd_ = -1;
    std::int64_t size_ = 0;
};

}  // namespace morrowdeck::platform
