#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/content_hash.h"
#include "platform/file_operations.h"

namespace morrowdeck {

// What each file of a backup held when it was written: size, modification date and content
// hash, by path inside the backup. The backup keeps it up to date; the check of a backup and
// the restore compare the files against it.
//
// Stored as text, one file per line after a version line, so that a library of tens of
// thousands of files loads in a few milliseconds and a person can read it:
//   morrowdeck-manifest<TAB>1
//   <32 hex digits><TAB><size><TAB><mtime, ns since 1970><TAB><path>
// The path comes last and is the rest of the line; a backslash or line feed in it is written
// as "\\" or "\n".
struct BackupManifest {
    struct Entry {
        std::int64_t size = 0;
        platform::FileTime mtime{};
        ContentHash hash;

        bool operator==(const Entry&) const = default;
    };

    std::map<std::string, Entry> entries;  // path inside the backup -> entry

    bool operator==(const BackupManifest&) const = default;

    std::string encode() const;

    // Absent when the text is not a manifest of a known version; a damaged line is skipped,
    // and so is a line whose path isPathOfAFile() refuses: its path is added to `refused`.
    static std::optional<BackupManifest> decode(std::string_view text,
                                                std::vector<std::string>* refused = nullptr);

    // The manifest of a backup folder; absent when it has none (or an unreadable one).
    static std::optional<BackupManifest> load(const std::filesystem::path& backupRoot,
                                              std::vector<std::string>* refused = nullptr);

    // True for a path a backed-up file can have: relative, without an empty, "." or ".."
    // component or a NUL, and outside the metadata folder. Any other path in a manifest was
    // not written by a backup, and opening it would read something that is not one of its
    // files (an absolute path or a climb out: a file anywhere on the machine).
    static bool isPathOfAFile(std::string_view path);

    static std::filesystem::path fileOf(const std::filesystem::path& backupRoot);
};

}  // namespace morrowdeck
