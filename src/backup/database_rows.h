#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "library/master_database.h"

namespace morrowdeck {

// What one backup run needs of Serato's master.sqlite, read once: the `asset` rows of the
// tracks it backs up and the crates (containers) the database holds.
class DatabaseRows {
  public:
    // One backed-up track: its path as the library stores it, and its full path.
    struct Track {
        std::string stored;
        std::string full;
    };

    // Reads `file` (nothing when it does not exist), keeping only the asset rows whose
    // portable_id is one of the tracks' (canonically equal).
    static DatabaseRows read(const std::filesystem::path& file, const std::vector<Track>& tracks,
                             std::chrono::milliseconds wait);

    // The row of a track: the one on the volume the track's full path lies on, else the one
    // keyed by its stored path as the ratings are (the last row by id when several volumes
    // hold that path). Null when the database has none.
    const MasterDatabase::Asset* find(const Track& track) const;

    // Every column of the row that is not NULL, unknown ones included (as text).
    static std::map<std::string, MasterDatabase::Value> fields(const MasterDatabase::Asset& row);

    // The crate folders of the database's containers, in canonical form, named as the crate
    // tree names them: the trimmed names from the top level down, a smart crate's below the
    // smart-crate group. Every container counts, whichever volume its tracks are on. Absent
    // when the database exists but could not be read whole: then nothing can be said of a
    // crate an earlier run backed up.
    std::optional<std::unordered_set<std::string>> crateFolders() const;

  private:
    bool exists_ = false;
    MasterDatabase database_;
    std::unordered_map<std::string, const MasterDatabase::Asset*> byFullPath_;  // canonical
    std::unordered_map<std::string, const MasterDatabase::Asset*> byStoredPath_;
    std::unordered_map<std::string, std::string> canonical_;  // of byStoredPath_'s keys
};

}  // namespace morrowdeck
