#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Reads the track list of a Serato crate or smart-crate file.
namespace morrowdeck::CrateParser {

// Absolute paths of the "ptrk" entries of every "otrk" chunk, in file order with duplicates
// kept. Other chunks (header, columns, smart-crate rules) are skipped; an empty or
// undecodable "ptrk" is skipped; a truncated chunk ends the walk at its level.
std::vector<std::string> trackPaths(std::span<const std::uint8_t> crate,
                                    std::string_view volumePrefix);

// The "ptrk" texts exactly as stored (volume-relative), with the same skipping rules.
std::vector<std::string> storedPaths(std::span<const std::uint8_t> crate);

// prefix + "/" + the stored path without its leading slashes.
std::string absolutePath(std::string_view fromVolumeRelative, std::string_view volumePrefix);

}  // namespace morrowdeck::CrateParser
