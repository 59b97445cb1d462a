#pragma once
// Internal to src/platform: the parts of the file operations that every backend shares, so that
// temporary names, the keeping of replaced files and the clock tables agree on every system.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace morrowdeck::platform::shared {

// File systems cap a name at 255 bytes (Linux) or 255 UTF-16 units (FAT, exFAT, NTFS), which a
// UTF-8 name of at most 255 bytes never exceeds.
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr std::string_view kTempMarker = ".morrowdeck-";
inline constexpr std::size_t kSuffixLength = 6;

// Hidden name prefix for a temporary file standing in for the UTF-8 `name`:
// ".<name>.morrowdeck-". A long name is shortened at a character boundary so that the temporary
// name stays within kMaxNameBytes (vfat and exfat refuse names holding half a UTF-8 sequence).
std::string temporaryPrefix(std::string_view name);

// Six random letters or digits for a temporary name.
std::string randomSuffix();

// A fresh temporary name for the file `target` in its folder (or in "." for a bare name).
std::filesystem::path temporaryPath(const std::filesystem::path& target);

// Random bytes from the system without blocking; false when it has none yet. Each backend
// defines it.
bool fillRandom(unsigned char* bytes, std::size_t size);

// The type of the file system holding a path (its nearest existing ancestor when the path is
// not there yet): statfs's number where the system gives one, else its name ("vfat",
// "NTFS"). None when it cannot be told. Each backend defines it.
struct FileSystemType {
    long number = 0;
    std::string name;  // "" when the number tells it
};
std::optional<FileSystemType> fileSystemTypeOf(const std::filesystem::path& path);

// The file at `dest` moved aside to `keepAs` (folders created) just before a replacement takes
// its name. `moved` is false when there is nothing to keep: no keepAs, no file at dest, or a
// file already kept at keepAs earlier (the older version stays kept and dest is replaced in
// place). On another volume the file is copied there instead, and dest is replaced in place.
// `error` is errno when the file could not be kept.
struct KeptAside {
    bool moved = false;
    int error = 0;
};
KeptAside keepAside(const std::filesystem::path& dest, const std::filesystem::path& keepAs);

}  // namespace morrowdeck::platform::shared
