#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morrowdeck {

// The most any reader takes in of one file it reads whole. Far above what a real library
// holds, and small enough that a damaged or sparse file of many gigabytes is refused before
// anything is allocated for it.
// "database V2", the staged ratings and rules, a backup's catalog and record snapshot:
inline constexpr std::uint64_t maxMetadataBytes = 500'000'000;
// A crate or smart-crate file and "neworder.pref":
inline constexpr std::uint64_t maxCrateBytes = 64'000'000;

// Why a file could not be read whole, from the error of platform::readFileAtMost with the
// bound it was read with: "it is larger than the 64 MB such a file can be", "it is not a
// regular file", or the system's text.
std::string unreadableReason(int error, std::uint64_t maxBytes);

// One file read whole, at most `maxBytes` of it. Absent when it is missing; when it is there
// but cannot be used (too large, not a regular file, a read error), also absent and
// `reason` says why (see unreadableReason).
std::optional<std::vector<std::uint8_t>> readBoundedFile(const std::filesystem::path& file,
                                                         std::uint64_t maxBytes,
                                                         std::string& reason);

}  // namespace morrowdeck
