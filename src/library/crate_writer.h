#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Writes Serato crate files: the version chunk and one "otrk"/"ptrk" per track, nothing else.
namespace morrowdeck::CrateWriter {

inline constexpr std::string_view crateVersion = "1.0/Serato ScratchLive Crate";

// Appends one chunk: tag, big-endian 32-bit length, payload.
void append(std::vector<std::uint8_t>& out, std::string_view tag,
            std::span<const std::uint8_t> payload);

// The bytes of a complete crate file listing the paths in order.
std::vector<std::uint8_t> crateData(const std::vector<std::string>& volumeRelativePaths);

// The file's path with the volume prefix and leading slashes removed. The prefix is removed
// only where it ends at a component boundary; a path elsewhere keeps its full form.
std::string volumeRelativePath(const std::filesystem::path& file, std::string_view volumePrefix);

}  // namespace morrowdeck::CrateWriter
