#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morrowdeck {

// What a backup folder holds, written by the backup beside the audio and read by the restore:
// which library track each backed-up file is, which folder holds the tracks that are in no
// crate, and the de-duplication store's folder. Without it (a backup from an earlier version)
// the restore reads every folder as a crate, as before.
struct BackupCatalog {
    struct Track {
        std::string file;    // path inside the backup: crate folder, "/", file name
        std::string source;  // the track's path as the library stores it (volume-relative)
    };

    std::vector<Track> tracks;                    // in crate and track order
    std::optional<std::string> notInCrateFolder;  // the folder that is not a crate
    std::string storeFolder;                      // empty when nothing was de-duplicated

    // The catalog as one JSON document.
    std::vector<std::uint8_t> encode() const;

    // Absent when the bytes are not a catalog; entries that are not two strings are skipped.
    static std::optional<BackupCatalog> decode(std::span<const std::uint8_t> bytes);

    // This catalog followed by the entries of an earlier one whose crate folders this one does
    // not hold: a backup of some crates keeps what an earlier run recorded for the others.
    void keepOthersFrom(const BackupCatalog& earlier);
};

}  // namespace morrowdeck
