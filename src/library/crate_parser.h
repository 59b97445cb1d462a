#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/read_report.h"

// Reads the track list of a Serato crate or smart-crate file.
namespace morrowdeck::CrateParser {

// Absolute paths of the "ptrk" entries of every "otrk" chunk, in file order with duplicates
// kept. Other chunks (header, columns, smart-crate rules) are skipped; an empty or
// undecodable "ptrk" (also one holding U+0000) is skipped; a truncated chunk ends the walk at
// its level. `report`, when given, tells how much was read: a track entry that gave no path
// because its "ptrk" did not decode or its chunks were cut short counts as unreadable.
std::vector<std::string> trackPaths(std::span<const std::uint8_t> crate,
                                    std::string_view volumePrefix, ReadReport* report = nullptr);

// The "ptrk" texts exactly as stored (volume-relative), with the same skipping rules.
std::vector<std::string> storedPaths(std::span<const std::uint8_t> crate);

// prefix + "/" + the stored path without its leading slashes.
std::string absolutePath(std::string_view fromVolumeRelative, std::string_view volumePrefix);

}  // namespace morrowdeck::CrateParser
