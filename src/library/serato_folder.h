#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Names of the files and folders Serato keeps in its library folder, and of its master
// database under the home folder. Every reader and writer of a Serato library takes them
// from here.
namespace morrowdeck::SeratoFolder {

inline constexpr std::string_view name = "_Serato_";
inline constexpr std::string_view crateFolder = "Subcrates";
inline constexpr std::string_view smartCrateFolder = "SmartCrates";
inline constexpr std::string_view crateExtension = "crate";        // without the dot
inline constexpr std::string_view smartCrateExtension = "scrate";  // without the dot
inline constexpr std::string_view databaseFile = "database V2";
inline constexpr std::string_view crateOrderFile = "neworder.pref";

// Joins a crate's name components in its file's base name ("Genres%%House").
inline constexpr std::string_view hierarchySeparator = "%%";

// The base name of a crate's file: the components joined with "%%". Also the crate's line
// in the crate order file.
std::string crateBaseName(const std::vector<std::string>& components);

// The crate's file name: base name plus ".crate", or ".scrate" for a smart crate.
std::string crateFileName(const std::vector<std::string>& components, bool isSmart);

// Serato's master.sqlite under the current user's home folder (whether or not it exists).
std::filesystem::path masterDatabase();
// The same under another home folder.
std::filesystem::path masterDatabase(const std::filesystem::path& home);

}  // namespace morrowdeck::SeratoFolder
