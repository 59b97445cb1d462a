#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/content_hash.h"

namespace morrowdeck {

// The record of one run that changed a Serato library, kept in the run's undo folder
// (`_Serato_/.morrowdeck-undo/<id>/`) beside the copies of what the run replaced: every file
// the run created or replaced, what it held before and what the run left there. An undo reads
// it to put each file back exactly, and to tell a file the run wrote from one changed since.
//
// On disk: `index.json`, rewritten whole (atomically) at the run's milestones, and
// `journal.jsonl`, one entry per line appended between them, so that a run that dies halfway
// still names every change it made. read() joins both: a journal line for a path already
// listed takes its place (it tells what became of that write); a torn last line is ignored.
struct UndoIndex {
    static constexpr std::string_view folderName = ".morrowdeck-undo";
    static constexpr std::string_view indexFile = "index.json";
    static constexpr std::string_view journalFile = "journal.jsonl";

    // What a file held at one moment. An absent hash: not known (a file too large to hash).
    struct Content {
        std::int64_t size = 0;
        std::int64_t mtimeNs = 0;  // nanoseconds since 1970
        std::optional<ContentHash> hash;
    };

    struct Entry {
        enum class Kind {
            serato,    // a file of the Serato folder (crate, smart crate, database V2, …)
            audio,     // a track or other file the restore placed at its audio target
            database,  // Serato's SQLite database: put back through SQLite, not by copying
            folder     // a folder the run created (removed again when empty)
        };
        enum class Action { created, replaced };

        std::filesystem::path path;  // absolute path of the file the run wrote
        Kind kind = Kind::serato;
        Action action = Action::created;
        // Where the earlier content is kept, relative to the run's undo folder; empty for a
        // created file.
        std::string saved;
        std::optional<Content> before;  // the replaced content (absent for a created file)
        std::optional<Content> after;   // what the run left there (absent: the write failed)
    };

    enum class Kind { restore, apply };

    std::string id;    // UTC "YYYYMMDDTHHMMSSZ", with "-2", "-3", … when a second is taken
    Kind kind = Kind::restore;
    std::int64_t startedNs = 0;  // nanoseconds since 1970
    bool finished = false;       // the run ended (done, cancelled or failed) and said so
    bool undone = false;         // an undo put this run back
    std::vector<Entry> entries;

    // The run id for a moment: "20261208T043512Z".
    static std::string idFor(std::int64_t nanosecondsSince1970);

    // The entries as JSON text: the whole index, or one journal line (no newline).
    std::string toJson() const;
    static std::string journalLine(const Entry& entry);

    // Reads a run folder: index.json, then the entries of journal.jsonl. Absent when the index
    // is missing, unreadable or not an index (a folder that is no run is never touched).
    static std::optional<UndoIndex> read(const std::filesystem::path& runFolder);
    // Parses index.json's text; absent when it is not an index.
    static std::optional<UndoIndex> parse(std::string_view json);

    // What an SQLite database holds: its file's size and date, with the hash of its tables
    // and rows (readSqliteContent) rather than of its file, whose bytes miss what a -wal still
    // holds and change when the -wal is checkpointed. Absent when it cannot be read.
    static std::optional<Content> databaseContent(const std::filesystem::path& file);

    // The bytes the run folder keeps for its saved copies (sum of the saved entries' sizes).
    std::int64_t savedBytes() const;
    // The entry for a path, or null.
    const Entry* find(const std::filesystem::path& path) const;
};

}  // namespace morrowdeck
