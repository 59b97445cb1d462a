#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/crate.h"

// Finds a Serato library folder and loads its crate files into the crate forest.
// Stateless and thread-safe; problems make the result smaller, never an error.
namespace morrowdeck::SeratoLibrary {

inline constexpr std::string_view smartCratesGroup = "Smart Crates";

// The folder itself when it is named "_Serato_" and is a directory, else its direct child
// "_Serato_" when that is a directory, else nothing.
std::optional<std::filesystem::path> resolveLibrary(const std::filesystem::path& at);

// The home folder + "Music" + "_Serato_" (whether or not it exists).
std::filesystem::path defaultLibraryLocation();

// The mount path of the volume holding the path; "" for the root volume or when unknown.
std::string volumeMountPrefix(const std::filesystem::path& path);

// The name components of a crate file's base name: split at "%%", trimmed of tabs and space
// separators, empty pieces dropped.
std::vector<std::string> nameComponents(std::string_view baseName);

// Reads every ".crate" in "Subcrates" and every ".scrate" in "SmartCrates" (below the group
// "Smart Crates") of the library folder into the name-sorted forest. A crate file that cannot
// be read, or only in part, still gives its crate with the tracks that could be read, and
// `warnings` (when given) one line naming the file and what was read.
std::vector<Crate::Ptr> loadCrates(const std::filesystem::path& from,
                                   std::vector<std::string>* warnings = nullptr);

}  // namespace morrowdeck::SeratoLibrary
