#pragma once

#include <cstdint>
#include <filesystem>

#include "library/serato_database.h"

namespace TagLib {
class IOStream;
}

namespace morrowdeck::SeratoDatabase {

// At most this many bytes of one audio file are read for its tags and audio properties.
inline constexpr std::uint64_t tagReadBudget = std::uint64_t{16} << 20;

// A track record's values read from an audio file: ext, the size fields, and the tag and
// audio texts (path, added and mtime stay empty for the caller). Never fails: what cannot be
// read stays absent. Only regular files are opened, and at most tagReadBudget bytes are read.
Entry readTags(const std::filesystem::path& path);

namespace detail {

// Fills the entry's tag and audio fields from a stream; the parser is chosen by the
// extension of the stream's name, then by content.
void readStreamTags(Entry& entry, TagLib::IOStream& stream);

}  // namespace detail

}  // namespace morrowdeck::SeratoDatabase
