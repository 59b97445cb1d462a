#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
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

// Maps a stored (volume-relative) track path to its new form; nullopt keeps the path.
using TrackPathMapping = std::function<std::optional<std::string>(const std::string& storedPath)>;

// The crate or smart-crate file with the text of every decodable, non-empty "ptrk" inside an
// "otrk" replaced by mapping(text). Every other byte stays as it was and where it was (the
// header, column, sort and rule chunks, unknown tags, other fields of a track, a truncated
// tail); only the lengths of the changed "ptrk" and their "otrk" change.
std::vector<std::uint8_t> rewriteTrackPaths(std::span<const std::uint8_t> crate,
                                            const TrackPathMapping& mapping);

// The crate file with one "otrk"/"ptrk" record per path appended after its last complete
// chunk (an incomplete tail would swallow the new records, so it is dropped). Empty input
// gives a new crate file.
std::vector<std::uint8_t> appendTracks(std::span<const std::uint8_t> crate,
                                       const std::vector<std::string>& volumeRelativePaths);

// The crate file with its track list replaced by one "otrk"/"ptrk" record per path, in order:
// every top-level "otrk" is taken out and the new records stand where the first one stood
// (after the last complete chunk when there was none). Every other byte stays as it was and
// in its order: the header, column, sort and unknown chunks, those after the track list, and
// an incomplete tail, which stays last. Input without one complete chunk gives a new crate file.
std::vector<std::uint8_t> replaceTracks(std::span<const std::uint8_t> crate,
                                        const std::vector<std::string>& volumeRelativePaths);

// The file's path with the volume prefix and leading slashes removed. The prefix is removed
// only where it ends at a component boundary; a path elsewhere keeps its full form.
std::string volumeRelativePath(const std::filesystem::path& file, std::string_view volumePrefix);
// The same for a path the program holds as text (a track's path as a crate lists it).
std::string volumeRelativeText(std::string_view path, std::string_view volumePrefix);

}  // namespace morrowdeck::CrateWriter
