#pragma once

#include <cstdint>
#include <filesystem>

#include "library/serato_database.h"

namespace TagLib {
class IOStream;
}

namespace morrowdeck::SeratoDatabase {

// What one audio file may cost. The parsers' searches for frame syncs, atoms and pages stop
// after tagSearchBudget bytes, which ends the hunt through a huge or damaged file quickly.
// Tags, metadata blocks and pictures of a stated length are read apart from the search, up to
// tagBlockBudget bytes in all: a large cover is a healthy file, and memory stays bounded.
inline constexpr std::uint64_t tagSearchBudget = std::uint64_t{16} << 20;
inline constexpr std::uint64_t tagBlockBudget = std::uint64_t{128} << 20;

// A track record's values read from an audio file: ext, the size fields, and the tag and
// audio texts (path, added and mtime stay empty for the caller). Never fails: what cannot be
// read stays absent. Only regular files are opened, and reads stay within the budgets above.
Entry readTags(const std::filesystem::path& path);

namespace detail {

// Fills the entry's tag and audio fields from a stream; the parser is chosen by the
// extension of the stream's name, then by content. When that parser finds no sound, the one
// the content's first bytes name is tried: an extension may name the wrong kind.
void readStreamTags(Entry& entry, TagLib::IOStream& stream);

}  // namespace detail

}  // namespace morrowdeck::SeratoDatabase
