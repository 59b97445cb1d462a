#include "library/tag_file_stream.h"

#include <algorithm>

#include "platform/path_text.h"

namespace morrowdeck::SeratoDatabase {

TagFileStream::TagFileStream(const std::filesystem::path& path, std::uint64_t searchBudget,
                             std::uint64_t blockBudget)
    : name_(platform::toUtf8(path)),
      searchBudget_(searchBudget),
      searchLeft_(searchBudget),
      blockLeft_(blockBudget) {
    if (file_.open(path) == 0) size_ = static_cast<long>(file_.size());
}

TagFileStream::~TagFileStream() = default;

TagLib::ByteVector TagFileStream::readBlock(unsigned long length) {
    if (!file_.isOpen() || position_ >= size_) return {};
    std::uint64_t& budget = length <= searchReadSize ? searchLeft_ : blockLeft_;
    const std::uint64_t wanted =
        std::min({std::uint64_t{length}, budget, static_cast<std::uint64_t>(size_ - position_)});
    if (wanted == 0) return {};
    TagLib::ByteVector block(static_cast<unsigned int>(wanted), '\0');
    // A read that fails part way delivers what it got, as one that meets the file's end.
    std::size_t got = 0;
    (void)file_.readAt(
        static_cast<std::uint64_t>(position_),
        {reinterpret_cast<std::uint8_t*>(block.data()), static_cast<std::size_t>(wanted)}, got);
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
