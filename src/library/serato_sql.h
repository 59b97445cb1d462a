#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/master_database.h"

// Serato's SQLite database "master.sqlite": star ratings, colours, play counts and smart-crate
// rules. Stateless; every call opens, uses and closes its own connection, so
// any thread may call any function.
namespace morrowdeck::SeratoSQL {

// Per-track values of one `asset` row; every field is optional.
struct AssetMeta {
    std::optional<double> rating;           // asset.rating
    std::optional<std::int64_t> color;      // asset.color
    std::optional<double> bpm;              // asset.bpm (read and carried, never written back)
    std::optional<std::int64_t> playCount;  // asset.dj_play_count
    // Every column of the track's `asset` row that is not NULL, by column name, unknown ones
    // included: kept with the backup and carried to the staged file, never written back.
    std::map<std::string, MasterDatabase::Value> fields{};

    bool operator==(const AssetMeta&) const = default;
};

// The rule text of one smart crate and the (cleaned) name of its container.
struct SmartCrate {
    std::string name;
    std::string rules;

    bool operator==(const SmartCrate&) const = default;
};

struct Library {
    // Keyed by asset key: the `portable_id` as read; re-keyed by callers in between.
    std::map<std::string, AssetMeta> assets;
    std::vector<SmartCrate> smartCrates;  // in the order SQLite returned them

    bool operator==(const Library&) const = default;
};

struct ApplyResult {
    std::int64_t assetsUpdated = 0;    // asset rows changed by the updates
    std::int64_t rulesWritten = 0;     // smart-crate rule rows written
    std::optional<std::string> error;  // nothing was written; counts are 0 then
    std::vector<std::string> warnings{};  // smart crates whose rules were not written, and why

    bool operator==(const ApplyResult&) const = default;
};

// The errors `apply` reports: the file cannot be opened; another program holds a lock past
// the busy timeout; the database cannot be written (read-only, damaged, full).
inline constexpr std::string_view openErrorText =
    "Couldn't open Serato's database. Make sure Serato is completely quit.";
inline constexpr std::string_view lockedErrorText =
    "Serato's database is locked by another program; nothing was written. Make sure Serato is "
    "completely quit, then try again.";
inline constexpr std::string_view readOnlyErrorText =
    "Serato's database is read-only; nothing was written.";
// Followed by SQLite's own description, e.g. "database disk image is malformed".
inline constexpr std::string_view writeErrorText =
    "Couldn't write Serato's database; nothing was written: ";

// Reads the database read-only (no busy timeout). Absent only when the path is not a regular
// file or cannot be opened (a FIFO or device is never opened); a missing table, a locked or
// damaged database gives fewer entries. When `problem` is given and the file exists but could
// not be read whole, it receives the reason ("database is locked", "not a regular file").
// Rows whose rating, color and dj_play_count are all NULL are skipped whatever bpm holds.
std::optional<Library> read(const std::filesystem::path& from, std::string* problem = nullptr);

// Writes ratings, colours and play counts (matched by `portable_id`) and smart-crate rules in
// one write transaction. Only the values the record holds are written: an absent rating, colour
// or play count keeps the stored one, and a record holding none of them is left out (not
// counted); bpm and the other fields are never written. A row the database refuses (its CHECK) is not counted
// and the rest goes on; a failure of the database itself (lock, read-only, damage, full disk)
// rolls everything back and is the error. Other programs' locks are waited for 3000 ms in all,
// not per statement.
// A smart crate goes to the one type-2 container of exactly its name, else to the one whose
// name is the crate's name followed by text that cleanName cuts (the name as read, compared
// ignoring ASCII case); none or more than one is a warning and the rules are not written.
ApplyResult apply(const Library& library, const std::filesystem::path& to);

// The name cut before its first scalar below U+0020 or at or above U+F0000. Bytes that are not
// well-formed UTF-8 never end the name and are kept as they are.
std::string cleanName(std::string_view name);

}  // namespace morrowdeck::SeratoSQL
