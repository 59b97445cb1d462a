#pragma once

#include <filesystem>

namespace morrowdeck::platform {

// An exclusive lock held through a lock file: flock(2) on the open file, so the lock of a
// process that died is released by the kernel and the next taker simply gets it, though the
// file is still there. Released, and the file removed, by release() or the destructor.
class FileLock {
  public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    ~FileLock() { release(); }

    // Takes the lock on `file` (created when missing) without waiting: 0 when held,
    // EWOULDBLOCK while another open file holds it, `notRegularFile` when something other
    // than a regular file is there (a folder, a symbolic link: a lock on it would guard
    // nothing), another errno when the file cannot be made or the file system has no locks
    // (isUnsupported()).
    int acquire(const std::filesystem::path& file);
    static constexpr int notRegularFile = -1;
    static bool isUnsupported(int error);
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    std::filesystem::path file_;
    int fd_ = -1;
};

}  // namespace morrowdeck::platform
