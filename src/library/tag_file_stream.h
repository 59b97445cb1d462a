#pragma once

#include <taglib/tiostream.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/read_only_file.h"

namespace morrowdeck::SeratoDatabase {

// A read-only TagLib stream over one regular file with two read budgets. Tag parsers search
// for frame syncs, atoms and pages in reads of at most searchReadSize bytes; on a huge or
// hostile file that search would otherwise read the whole file, so once the search budget is
// spent every such read returns nothing and the parser gives up with what it has. Larger
// reads fetch a tag, metadata block or picture of a stated length; they draw on their own
// budget, so a large cover neither starves the search nor lets memory grow without bound.
class TagFileStream final : public TagLib::IOStream {
  public:
    // TagLib's buffer size, the largest read its searches make.
    static constexpr unsigned long searchReadSize = 1024;

    // Opens the file without blocking (a FIFO never stalls the open) and keeps it only when
    // it is a regular file; isOpen() tells.
    TagFileStream(const std::filesystem::path& path, std::uint64_t searchBudget,
                  std::uint64_t blockBudget);
    ~TagFileStream() override;

    TagLib::FileName name() const override { return name_.c_str(); }
    // The file's path as UTF-8 text (TagLib's FileName is wide on Windows).
    const std::string& nameText() const { return name_; }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return file_.isOpen(); }
    void seek(long offset, Position from = Beginning) override;
    long tell() const override { return position_; }
    long length() override { return size_; }
    void truncate(long) override {}

    // Gives the searches their whole budget again, for a second parser after the first one
    // found no audio (an extension that names the wrong kind). The blocks' budget is not
    // renewed, so memory stays bounded over both parsers.
    void restartSearch() { searchLeft_ = searchBudget_; }

    // Bytes delivered so far.
    std::uint64_t bytesRead() const { return bytesRead_; }

  private:
    platform::ReadOnlyFile file_;
    std::string name_;
    long position_ = 0;
    long size_ = 0;
    std::uint64_t searchBudget_;
    std::uint64_t searchLeft_;
    std::uint64_t blockLeft_;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace morrowdeck::SeratoDatabase
