#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    std::optional<std::string> error;  // only when the database cannot be opened; counts are 0 then

    bool operator==(const ApplyResult&) const = default;
};

// The one error `apply` reports.
inline constexpr std::string_view openErrorText =
    "Couldn't open Serato's database. Make sure Serato is completely quit.";

// Reads the database read-only (no busy timeout). Absent only when the file cannot be opened;
// a missing table, a locked database or another statement failure gives fewer entries.
// Rows whose rating, color and dj_play_count are all NULL are skipped whatever bpm holds.
std::optional<Library> read(const std::filesystem::path& from);

// Writes ratings, colours and play counts (matched by `portable_id`) and smart-crate rules in
// one transaction that is committed whatever the single statements returned. An absent rating
// or colour clears the stored value; an absent play count keeps it; bpm is never written.
// A smart crate goes to the type-2 container of exactly its name when there is one, otherwise
// to the first type-2 container whose name is LIKE the name followed by "%". A crate whose
// name is empty is skipped. Busy timeout 3000 ms; statement failures only lower the counts.
ApplyResult apply(const Library& library, const std::filesystem::path& to);

// The name cut before its first scalar below U+0020 or at or above U+F0000. Bytes that are not
// well-formed UTF-8 never end the name and are kept as they are.
std::string cleanName(std::string_view name);

}  // namespace morrowdeck::SeratoSQL
