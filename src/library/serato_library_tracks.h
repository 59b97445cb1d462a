#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/crate.h"

// The library's tracks beyond its crates, and finding a track's file on disk.
// Stateless and thread-safe, like the rest of SeratoLibrary.
namespace morrowdeck::SeratoLibrary {

// The name of the entry that holds the tracks no regular crate lists.
inline constexpr std::string_view notInCrateName = "Not in a crate";

// Absolute paths (volume prefix of the library + "/" + stored path) of every record of the
// library folder's "database V2", then of every track a smart crate lists, that no regular
// (non-smart) crate of the forest lists, compared by canonical equivalence, in database and
// then forest order, each once. A database that cannot be read (too large, not a regular
// file) adds one line naming it to `warnings`, when given, and only the smart crates' tracks
// are returned.
std::vector<std::string> tracksNotInCrates(const std::filesystem::path& libraryFolder,
                                           const std::vector<Crate::Ptr>& forest,
                                           std::vector<std::string>* warnings = nullptr);

// The forest followed by the selectable "Not in a crate" entry (a top-level leaf with no crate
// file) when the library folder's database holds tracks that no regular crate lists. Its
// name, which is also its backup folder, gets a number when a top-level crate already has it.
std::vector<Crate::Ptr> withNotInCrate(std::vector<Crate::Ptr> forest,
                                       const std::filesystem::path& libraryFolder,
                                       std::vector<std::string>* warnings = nullptr);

// The file of a track: the path itself when it exists, else its NFC spelling, else its NFD
// spelling when that exists (libraries store either form, whatever the disk holds). The
// stored path is never changed; this only finds the file.
std::optional<std::filesystem::path> resolveTrackFile(const std::filesystem::path& path);

}  // namespace morrowdeck::SeratoLibrary
