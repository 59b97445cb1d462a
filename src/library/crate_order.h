#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Serato's crate order file "neworder.pref": UTF-16BE lines "[begin record]", one
// "[crate]NAME" per crate in the DJ's order, "[end record]", each ending in a line feed.
// Pure functions; foreign or damaged input gives fewer names, never an error.
namespace morrowdeck::CrateOrder {

// The names after "[crate]", in file order. Lines may end in CRLF; a line that is not valid
// UTF-16BE, an empty name and every other line are skipped; a missing end record is fine.
std::vector<std::string> parse(std::span<const std::uint8_t> bytes);

// The file for the names: begin record, one crate line each, end record, final line feed.
// A name holding a line break cannot be written as one line and is left out.
std::vector<std::uint8_t> data(const std::vector<std::string>& names);

// The order for a restored library: the saved order first, then the restored names it does
// not list in the Finder-like name order, then the existing library's names not yet listed,
// in their order. Names that are canonically equivalent are listed once (the first wins).
std::vector<std::string> merge(const std::vector<std::string>& saved,
                               const std::vector<std::string>& restored,
                               const std::vector<std::string>& existing);

}  // namespace morrowdeck::CrateOrder
