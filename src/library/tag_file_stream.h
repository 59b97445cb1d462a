#pragma once

#include <taglib/tiostream.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace morrowdeck::SeratoDatabase {

// A read-only TagLib stream over one regular file that stops delivering data after a fixed
// number of bytes. Tag parsers scan for frame syncs and atoms; on a huge or hostile file
// that scan would otherwise read the whole file, so once the budget is spent every read
// returns nothing and the parser gives up with what it has.
class TagFileStream final : public TagLib::IOStream {
  public:
    // Opens the file without blocking (a FIFO never stalls the open) and keeps it only when
    // it is a regular file; isOpen() tells.
    TagFileStream(const std::filesystem::path& path, std::uint64_t budget);
    ~TagFileStream() override;

    TagLib::FileName name() const override { return name_.c_str(); }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return fd_ >= 0; }
    void seek(long offset, Position from = Beginning) override;
    long tell() const override { return position_; }
    long length() override { return size_; }
    void truncate(long) override {}

    // Bytes delivered so far.
    std::uint64_t bytesRead() const { return bytesRead_; }

  private:
    int fd_ = -1;
    std::string name_;
    long position_ = 0;
    long size_ = 0;
    std::uint64_t budget_;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace morrowdeck::SeratoDatabase
