#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace morrowdeck {

// What Serato's library database (master.sqlite) holds about volumes, crates and tracks,
// read in one read-only pass. Plain data: reading opens, reads and closes its own connection
// and never writes, so any thread may read while Serato runs. Whatever cannot be read (no
// file, a lock held too long, damage, a table or column that is not there) is a warning and
// leaves a partial or empty result; nothing throws.
struct MasterDatabase {
    // One value as SQLite stored it: NULL, integer, real, or text (a BLOB's bytes as text).
    using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

    // A drive or folder tracks live on (`location`).
    struct Volume {
        std::int64_t id = 0;
        std::string path;  // where the volume is mounted, as stored; empty for NULL
        std::string uuid;  // a BLOB as lower-case hex, text as it is; empty for NULL
    };

    // One track of a crate on one volume (`container_asset` through `location_container`).
    struct Entry {
        std::int64_t volumeId = 0;  // the location of the crate's list this entry is in
        std::int64_t assetId = 0;
        std::string portableId;     // the track's path relative to its volume
        std::int64_t order = 0;     // list_order; ties keep the order the rows were added in
    };

    // A crate (type 1), smart crate (type 2) or a container of a type not known here.
    struct Container {
        static constexpr std::int64_t crateType = 1;
        static constexpr std::int64_t smartCrateType = 2;

        std::int64_t id = 0;
        std::string name;  // as stored
        std::int64_t type = crateType;
        std::optional<std::int64_t> parentId;  // as stored, even when it names no container
        std::int64_t listOrder = 0;
        std::optional<std::string> rules;  // smart_crate_rules.rules, when there is a row
        std::vector<Entry> entries;        // by volume id, then order
        std::vector<Container> children;   // by list_order, then id

        // Tracks per volume id.
        std::map<std::int64_t, std::size_t> countsByVolume() const;
    };

    // A track (`asset`): the columns this program knows, each as stored, and any other
    // column a newer Serato added, as text, so nothing the row holds is lost.
    struct Asset {
        std::int64_t id = 0;
        std::int64_t volumeId = 0;
        std::string portableId;
        std::map<std::string, Value> fields;                    // known columns present
        std::map<std::string, std::optional<std::string>> extra;  // unknown columns
    };

    // Bounds on what one read holds in memory; past them the rest is left out with a warning.
    struct Options {
        std::chrono::milliseconds busyTimeout{3000};
        bool readAssets = true;  // false: count them only
        // When set, only the assets it accepts (by volume id and portable_id) are kept, and
        // maxAssets bounds those: a reader that needs a few tracks' rows never holds them all.
        std::function<bool(std::int64_t volumeId, const std::string& portableId)> keepAsset{};
        std::size_t maxVolumes = 10'000;
        std::size_t maxContainers = 100'000;
        std::size_t maxEntries = 5'000'000;
        std::size_t maxAssets = 1'000'000;
        std::size_t maxDepth = 64;  // deeper crates are shown at the top level
    };

    bool opened = false;  // the file was opened and is an SQLite database
    // The crates or their entries were not all read: the read stopped part way (a lock held
    // too long, damage) or a bound left some out. What was read is kept.
    bool partial = false;
    // Columns of the crate tables (location, container, location_container,
    // container_asset, smart_crate_rules) that the schema this program knows does not have,
    // as "table.column": a newer Serato's additions, which the read ignores.
    std::vector<std::string> unknownCrateColumns;
    std::vector<Volume> volumes;        // by id
    std::vector<Container> containers;  // top level, by list_order then id
    std::int64_t assetCount = 0;        // rows of `asset`, even when not all were read
    std::vector<Asset> assets;          // by id
    std::vector<std::string> warnings;  // for a person, one sentence each

    // The asset columns of the schema this program was written against.
    static const std::vector<std::string>& knownAssetColumns();

    static MasterDatabase read(const std::filesystem::path& file, const Options& options);
    static MasterDatabase read(const std::filesystem::path& file) { return read(file, Options{}); }
};

}  // namespace morrowdeck
