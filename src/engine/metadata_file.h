#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morrowdeck {

// The most either engine reads of one file it can do without (a backup's saved records,
// ratings and catalog, a library's database V2): far above any real library's, and small
// enough that a damaged or sparse file of many gigabytes never exhausts memory.
inline constexpr std::uint64_t maxMetadataBytes = 500'000'000;

// One such file read whole. Absent when it is missing or unreadable; when it is there but
// cannot be used (too large, not a regular file, a read error), `warning` gets the line that
// says so and what the run does without it.
std::optional<std::vector<std::uint8_t>> readMetadataFile(const std::filesystem::path& file,
                                                          std::string& warning);

}  // namespace morrowdeck
