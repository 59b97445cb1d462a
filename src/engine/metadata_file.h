#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "library/bounded_read.h"

namespace morrowdeck {

// One file either engine reads whole and can do without (a backup's saved records, ratings,
// catalog and crate files, a library's database V2), at most `maxBytes` of it. Absent when it
// is missing or unreadable; when it is there but cannot be used (too large, not a regular
// file, a read error), `warning` gets the line that names it, says why, and what the run does
// without it.
std::optional<std::vector<std::uint8_t>> readMetadataFile(
    const std::filesystem::path& file, std::string& warning,
    std::uint64_t maxBytes = maxMetadataBytes);

}  // namespace morrowdeck
