#include "library/tag_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace morrowdeck::SeratoDatabase {

TagFileStream::TagFileStream(const std::filesystem::path& path, std::uint64_t searchBudget,
                             std::uint64_t blockBudget)
    : name_(path.string()),
      searchBudget_(searchBudget),
      searchLeft_(searchBudget),
      blockLeft_(blockBudget) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<long>(info.st_size);
}

TagFileStream::~TagFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

TagLib::ByteVector TagFileStream::readBlock(unsigned long length) {
    if (fd_ < 0 || position_ >= size_) return {};
    std::uint64_t& budget = length <= searchReadSize ? searchLeft_ : blockLeft_;
    const std::uint64_t wanted = std::min(
        {std::uint64_t{length}, budget, static_cast<std::uint64_t>(size_ - position_)});
    if (wanted == 0) return {};
    TagLib::ByteVector block(static_cast<unsigned int>(wanted), '\0');
    std::uint64_t got = 0;
    while (got < wanted) {
        const ssize_t n =
            ::pread(fd_, block.data() + got, wanted - got, static_cast<off_t>(position_ + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::uint64_t>(n);
    }
    block.resize(static_cast<unsigned int>(got));
    position_ += static_cast<long>(got);
    budget -= got;
    bytesRead_ += got;
    return block;
}

void TagFileStream::seek(long offset, Position from) {
    const long base = from == Beginning ? 0 : from == Current ? position_ : size_;
    long target = 0;
    // A position before the start or past the long range leaves the stream where it was.
    if (__builtin_add_overflow(base, offset, &target) || target < 0) return;
    position_ = target;
}

}  // namespace morrowdeck::SeratoDatabase
