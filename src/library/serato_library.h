#pragma once

#include <chrono>
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

// Where loadCrates looks besides the library folder.
struct LoadOptions {
    // Serato's database; SeratoFolder::masterDatabase() when absent.
    std::optional<std::filesystem::path> masterDatabase;
    // The mount point of the library's volume ("" for the root volume); looked up when absent.
    std::optional<std::string> volumePrefix;
    // How long a write lock Serato holds on the database is waited out.
    std::chrono::milliseconds busyTimeout{3000};
};

struct LoadedCrates {
    std::vector<Crate::Ptr> forest;
    bool databaseRead = false;  // the database's crates were read and merged
};

// Reads every ".crate" in "Subcrates" and every ".scrate" in "SmartCrates" (below the group
// "Smart Crates") of the library folder, and the crates Serato's database holds for the
// library's volume (DatabaseCrates), into one name-sorted forest. A crate in both shows the
// database's tracks, which is what Serato reads. A crate file that cannot be read, or only in
// part, still gives its crate with the tracks that could be read, and `warnings` (when given)
// one line naming the file and what was read. A database that is missing is not read, without
// a warning (older Serato has none); one that cannot be read whole (locked, damaged) gives a
// warning and the crate files alone; one more line names the crates whose two lists differ.
LoadedCrates load(const std::filesystem::path& from, const LoadOptions& options,
                  std::vector<std::string>* warnings = nullptr);

// The forest of load() with the default options.
std::vector<Crate::Ptr> loadCrates(const std::filesystem::path& from,
                                   std::vector<std::string>* warnings = nullptr);

}  // namespace morrowdeck::SeratoLibrary
