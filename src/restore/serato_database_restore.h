#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "restore/undo_journal.h"

namespace morrowdeck {

// Puts the copy of Serato's master.sqlite that a backup saved (`.morrowdeck/master.sqlite`)
// back on a machine that has no database at that path. An existing database is never replaced
// or written to: the copy is made under a hidden temporary name in the database's folder,
// checked, flushed and then renamed into place without replacing, so a database that appears
// meanwhile is left as it is and the copy is dropped.
//
// Each volume the copy names (`location.path`) must be a folder on this machine, or be mapped
// to one; a mapped path is rewritten in the restored copy only. The restored file and the
// folders made for it are recorded in the run's undo journal, so an undo removes them while
// they are still what the restore left.
//
// Blocking and Qt-free; reads the backup's copy without ever writing to it or beside it.
class SeratoDatabaseRestore {
  public:
    struct Request {
        std::filesystem::path database;  // where it goes; empty: SeratoFolder::masterDatabase()
        std::map<std::string, std::string> volumeMap;  // a location path -> a folder here
    };

    // What put() will do, worked out without writing anything.
    struct Plan {
        std::filesystem::path savedCopy;
        std::filesystem::path database;
        std::string refusal;  // non-empty: nothing will be written, and why (a clause)
        std::vector<std::pair<std::string, std::string>> mapped;  // stored path -> new path
        std::vector<std::string> unusedMappings;  // mapped paths no volume of the copy has

        bool refused() const { return !refusal.empty(); }
        // One line for a person: what will be put back where, or why not.
        std::string description() const;
    };

    struct Outcome {
        bool written = false;
        std::string message;                // the line that says what happened
        std::vector<std::string> warnings;  // mappings that matched no volume
    };

    // Reads "OLD=NEW" (split at the first '='): OLD a location path as the saved copy stores
    // it, NEW an absolute path. Absent, with `error` saying why, for anything else.
    static std::optional<std::pair<std::string, std::string>> parseMapping(std::string_view text,
                                                                           std::string& error);

    static Plan plan(const std::filesystem::path& backupRoot, const Request& request);

    // Plans, then writes the copy and records it in `journal`. A refusal or a failed write
    // leaves nothing at the database path and no temporary file behind.
    static Outcome put(const std::filesystem::path& backupRoot, const Request& request,
                       UndoJournal& journal);
};

}  // namespace morrowdeck
