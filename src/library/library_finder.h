#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace morrowdeck {

// A Serato library found in the home folder's Music folder or at the root of a drive.
struct FoundLibrary {
    std::filesystem::path folder;  // the "_Serato_" folder
    std::string drive;             // the drive's label, else its mount folder's name
    std::filesystem::path mountPoint;
    std::string fileSystem;  // the drive's file-system type; "" when unknown
    bool onDrive = false;    // false for the home folder's library
    std::size_t crates = 0;  // crates and smart crates, of files or Serato's database
    std::size_t tracks = 0;  // records of the library's database
    bool hardLinks = true;   // false on FAT and exFAT, where duplicates are stored as copies
    std::vector<std::string> warnings;  // files of the library that could not be read

    bool operator==(const FoundLibrary&) const = default;
};

// Finds the Serato libraries of this computer and its mounted drives. Stateless.
namespace LibraryFinder {

// Where to look; tests replace each.
struct Places {
    std::filesystem::path home;
    std::filesystem::path mountTable;
    // Folders whose mounted subfolders are drives: /media/$USER, /run/media/$USER, /mnt.
    std::vector<std::filesystem::path> driveFolders;

    // The running system's places.
    static Places system();
};

// The home folder's Music/_Serato_ first (when it exists), then each drive's root _Serato_ in
// mount-table order, each drive once (the last mount on a point wins).
std::vector<FoundLibrary> find(const Places& places);

}  // namespace LibraryFinder

}  // namespace morrowdeck
