#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace morrowdeck {

// One _Serato_ folder of a library that spans the computer and its drives, with what identifies
// its volume when the drive comes back under another mount point. A plain value.
struct LibraryMember {
    std::string name;               // unique among the members; see nameMembers()
    std::filesystem::path library;  // the "_Serato_" folder
    // The mount point its crates' volume-relative paths are resolved against ("" for the root
    // volume), as SeratoLibrary::volumeMountPrefix() gives it.
    std::string volumePrefix;
    std::string label;       // the volume's label; "" when none or unreadable
    std::string uuid;        // the file system's UUID (a serial number on Windows); "" if unknown
    std::string fileSystem;  // "ext4", "exfat", ...; "" when unknown
    std::string mountPoint;  // volumePrefix, or "/" for the root volume

    bool operator==(const LibraryMember&) const = default;
};

namespace LibraryMembers {

// The name of the library in the home folder's Music folder.
inline constexpr const char* homeName = "home";

// Members for these _Serato_ folders in their order, each folder once (the same folder named
// twice, also through a symbolic link, is one member), with their volumes' facts read from the
// system and named by nameMembers().
std::vector<LibraryMember> describe(const std::vector<std::filesystem::path>& libraries,
                                    const std::filesystem::path& homeLibrary);

// Whether two volume labels or member names are one, ASCII case ignored, as FAT and exFAT
// labels are compared.
bool sameName(const std::string& a, const std::string& b);

// Names the members in place, each uniquely: "home" for the home library; else the volume's
// label when no other member's volume has that label (compared without regard to ASCII case,
// as FAT and exFAT labels are) and it is not "home"; else the volume's UUID; else the last
// component of the mount point, else of the folder holding the _Serato_ folder. A name already
// given gets " 2", " 3", ... appended, so two members on one volume stay apart.
void nameMembers(std::vector<LibraryMember>& members, const std::filesystem::path& homeLibrary);

}  // namespace LibraryMembers

}  // namespace morrowdeck
