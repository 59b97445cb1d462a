#include "library/master_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <set>
#include <unordered_map>

#include "library/sqlite_handles.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

using Connection = SqliteConnection;
using Statement = SqliteStatement;

std::string hex(const void* data, int size) {
    static constexpr char digits[] = "0123456789abcdef";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    for (int i = 0; i < size; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0F]);
    }
    return out;
}

std::string text(sqlite3_stmt* row, int column) {
    const auto* bytes = sqlite3_column_text(row, column);
    if (bytes == nullptr) return {};
    return {reinterpret_cast<const char*>(bytes),
            static_cast<std::size_t>(sqlite3_column_bytes(row, column))};
}

MasterDatabase::Value value(sqlite3_stmt* row, int column) {
    switch (sqlite3_column_type(row, column)) {
        case SQLITE_INTEGER:
            return sqlite3_column_int64(row, column);
        case SQLITE_FLOAT:
            return sqlite3_column_double(row, column);
        case SQLITE_NULL:
            return std::monostate{};
        default:
            return text(row, column);
    }
}

std::optional<std::int64_t> optionalInt(sqlite3_stmt* row, int column) {
    if (sqlite3_column_type(row, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(row, column);
}

// One read of one database: the connection, the warnings gathered so far, the bounds.
class Reader {
  public:
    Reader(sqlite3* db, const std::filesystem::path& file, MasterDatabase& out,
           const MasterDatabase::Options& options)
        : db_(db), file_(file), out_(out), options_(options) {}

    void run() {
        readAll();
        noteUnknownColumns();
        if (failed_) out_.partial = true;
    }

  private:
    void readAll() {
        // One read transaction: every table is read as of the same moment.
        if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
        const bool any = hasTable("location") || hasTable("container") || hasTable("asset");
        if (failed_) return;
        out_.opened = true;
        if (!any) return warn("has no volumes, crates or tracks (not Serato's library database?)");
        readVolumes();
        std::vector<MasterDatabase::Container> flat = readContainers();
        readRules(flat);
        readEntries(flat);
        buildTree(std::move(flat));
        readAssets();
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    }

    void noteUnknownColumns() {
        if (failed_ || !out_.opened) return;
        static const std::map<std::string, std::set<std::string>> known{
            {"location",
             {"id", "path", "uuid", "revision", "show_when_disconnected", "last_sync_time",
              "last_sync_secret"}},
            {"container",
             {"id", "parent_id", "name", "type", "list_order", "space_id", "time_added",
              "expanded", "portable_id", "color"}},
            {"location_container", {"id", "container_id", "location_id", "external_container_id"}},
            {"container_asset",
             {"id", "asset_id", "location_container_id", "space_asset_id",
              "external_container_asset_id", "list_order", "time_added"}},
            {"smart_crate_rules", {"container_id", "version", "rules"}},
        };
        for (const auto& entry : known) {
            for (const auto& name : columns(entry.first))
                if (!entry.second.contains(name))
                    out_.unknownCrateColumns.push_back(entry.first + "." + name);
        }
    }

    void warn(const std::string& what) {
        out_.warnings.push_back("Serato's database " + platform::toUtf8(file_) + " " + what + ".");
    }

    // The reason the database itself could not be read ("database is locked", "file is not a
    // database", "database disk image is malformed"), said once.
    void fail() {
        if (failed_) return;
        failed_ = true;
        warn(std::string("could not be read whole: ") + sqlite3_errmsg(db_));
    }

    Statement prepare(const std::string& sql) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            fail();
            return nullptr;
        }
        return Statement(raw);
    }

    // Steps through every row; a failure part way keeps the rows read before it.
    template <typename Row>
    void each(const Statement& statement, Row&& row) {
        if (!statement) return;
        int code = SQLITE_OK;
        while ((code = sqlite3_step(statement.get())) == SQLITE_ROW) row(statement.get());
        if (code != SQLITE_DONE) fail();
    }

    // The columns of a table; empty when there is no such table (or it cannot be read).
    const std::set<std::string>& columns(const std::string& table) {
        const auto found = columns_.find(table);
        if (found != columns_.end()) return found->second;
        std::set<std::string>& names = columns_[table];
        const Statement info = prepare("SELECT name FROM pragma_table_info('" + table + "')");
        each(info, [&](sqlite3_stmt* row) { names.insert(text(row, 0)); });
        return names;
    }
    bool hasTable(const std::string& table) { return !columns(table).empty(); }
    bool has(const std::string& table, const std::string& column) {
        return columns(table).contains(column);
    }
    // The column's name when the table has it, else the stand-in value.
    std::string column(const std::string& table, const std::string& name,
                       const std::string& fallback) {
        return has(table, name) ? table + "." + name : fallback;
    }

    static std::string limit(std::size_t max) { return " LIMIT " + std::to_string(max + 1); }

    // `crates`: what was left out belongs to the crate tree, which is then partial.
    void bounded(std::size_t count, std::size_t max, const char* what, bool crates = true) {
        if (count > max && crates) out_.partial = true;
        if (count > max) warn("holds more " + std::string(what) + " than " + std::to_string(max) +
                              "; the rest were left out");
    }

    void readVolumes() {
        if (!has("location", "id")) return warn("has no volumes (no location table)");
        const Statement rows = prepare("SELECT id, " + column("location", "path", "NULL") + ", " +
                                       column("location", "uuid", "NULL") +
                                       " FROM location ORDER BY id" + limit(options_.maxVolumes));
        std::size_t count = 0;
        each(rows, [&](sqlite3_stmt* row) {
            if (++count > options_.maxVolumes) return;
            MasterDatabase::Volume volume{sqlite3_column_int64(row, 0), text(row, 1), {}};
            if (sqlite3_column_type(row, 2) == SQLITE_BLOB) {
                volume.uuid = hex(sqlite3_column_blob(row, 2), sqlite3_column_bytes(row, 2));
            } else {
                volume.uuid = text(row, 2);
            }
            out_.volumes.push_back(std::move(volume));
        });
        bounded(count, options_.maxVolumes, "volumes");
    }

    std::vector<MasterDatabase::Container> readContainers() {
        std::vector<MasterDatabase::Container> flat;
        if (!has("container", "id")) {
            warn("has no crates (no container table)");
            return flat;
        }
        const Statement rows = prepare(
            "SELECT id, " + column("container", "name", "''") + ", " +
            column("container", "type", "1") + ", " + column("container", "parent_id", "NULL") +
            ", " + column("container", "list_order", "0") + " FROM container ORDER BY id" +
            limit(options_.maxContainers));
        std::size_t count = 0;
        each(rows, [&](sqlite3_stmt* row) {
            if (++count > options_.maxContainers) return;
            MasterDatabase::Container container;
            container.id = sqlite3_column_int64(row, 0);
            container.name = text(row, 1);
            container.type = optionalInt(row, 2).value_or(MasterDatabase::Container::crateType);
            container.parentId = optionalInt(row, 3);
            container.listOrder = sqlite3_column_int64(row, 4);
            flat.push_back(std::move(container));
        });
        bounded(count, options_.maxContainers, "crates");
        for (std::size_t i = 0; i < flat.size(); ++i) index_.emplace(flat[i].id, i);
        return flat;
    }

    void readRules(std::vector<MasterDatabase::Container>& flat) {
        if (!has("smart_crate_rules", "container_id") || !has("smart_crate_rules", "rules")) return;
        const Statement rows = prepare("SELECT container_id, rules FROM smart_crate_rules");
        each(rows, [&](sqlite3_stmt* row) {
            const auto found = index_.find(sqlite3_column_int64(row, 0));
            if (found != index_.end() && sqlite3_column_type(row, 1) != SQLITE_NULL)
                flat[found->second].rules = text(row, 1);
        });
    }

    void readEntries(std::vector<MasterDatabase::Container>& flat) {
        const bool linked = has("container_asset", "asset_id") &&
                            has("container_asset", "location_container_id") &&
                            has("location_container", "container_id") &&
                            has("location_container", "location_id");
        if (!linked) {
            if (hasTable("container")) warn("lists no tracks in its crates (tables missing)");
            return;
        }
        const std::string portable =
            has("asset", "portable_id") ? "(SELECT portable_id FROM asset WHERE id = ca.asset_id)"
                                        : "NULL";
        const Statement rows = prepare(
            "SELECT lc.container_id, lc.location_id, ca.asset_id, " + portable + ", " +
            (has("container_asset", "list_order") ? "ca.list_order" : "0") +
            " FROM container_asset ca LEFT JOIN location_container lc"
            " ON lc.id = ca.location_container_id"
            " ORDER BY lc.container_id, lc.location_id, 5, ca.rowid" +
            limit(options_.maxEntries));
        std::size_t count = 0, noCrate = 0, noTrack = 0;
        each(rows, [&](sqlite3_stmt* row) {
            if (++count > options_.maxEntries) return;
            const auto found = index_.find(sqlite3_column_int64(row, 0));
            if (sqlite3_column_type(row, 0) == SQLITE_NULL || found == index_.end()) {
                ++noCrate;
                return;
            }
            if (sqlite3_column_type(row, 3) == SQLITE_NULL) {
                ++noTrack;
                return;
            }
            flat[found->second].entries.push_back({sqlite3_column_int64(row, 1),
                                                   sqlite3_column_int64(row, 2), text(row, 3),
                                                   sqlite3_column_int64(row, 4)});
        });
        bounded(count, options_.maxEntries, "crate entries");
        if (noCrate > 0)
            warn("has " + std::to_string(noCrate) +
                 " crate entries whose crate is not in it; they were left out");
        if (noTrack > 0)
            warn("has " + std::to_string(noTrack) +
                 " crate entries whose track is not in it; they were left out");
    }

    // Nests containers under their parents. A container whose parent is not there, or whose
    // parents form a cycle, or that lies deeper than the bound, is shown at the top level.
    void buildTree(std::vector<MasterDatabase::Container> flat) {
        std::unordered_map<std::int64_t, std::vector<std::size_t>> children;
        std::vector<std::size_t> roots;
        std::size_t orphans = 0;
        for (std::size_t i = 0; i < flat.size(); ++i) {
            const auto& parent = flat[i].parentId;
            if (parent && index_.contains(*parent)) {
                children[*parent].push_back(i);
            } else {
                if (parent) ++orphans;
                roots.push_back(i);
            }
        }
        const auto byOrder = [&](std::size_t a, std::size_t b) {
            return std::pair(flat[a].listOrder, flat[a].id) < std::pair(flat[b].listOrder, flat[b].id);
        };
        for (auto& [id, list] : children) std::sort(list.begin(), list.end(), byOrder);

        std::vector<bool> placed(flat.size(), false);
        std::size_t tooDeep = 0;
        // Moves flat[i] and its descendants into a tree node; `depth` bounds the recursion.
        const auto take = [&](auto& self, std::size_t i, std::size_t depth,
                              std::vector<std::size_t>& later) -> MasterDatabase::Container {
            placed[i] = true;
            MasterDatabase::Container node = std::move(flat[i]);
            const auto found = children.find(node.id);
            if (found == children.end()) return node;
            for (const std::size_t child : found->second) {
                if (placed[child]) continue;
                if (depth + 1 >= options_.maxDepth) {
                    ++tooDeep;
                    later.push_back(child);
                    continue;
                }
                node.children.push_back(self(self, child, depth + 1, later));
            }
            return node;
        };
        std::size_t cycles = 0, scan = 0;
        std::sort(roots.begin(), roots.end(), byOrder);
        for (std::size_t next = 0;;) {
            std::vector<std::size_t> later;
            for (; next < roots.size(); ++next) {
                if (!placed[roots[next]])
                    out_.containers.push_back(take(take, roots[next], 0, later));
            }
            roots.insert(roots.end(), later.begin(), later.end());
            if (next < roots.size()) continue;
            // What is left is reached from no top-level container: its parents form a cycle.
            while (scan < placed.size() && placed[scan]) ++scan;
            if (scan == placed.size()) break;
            ++cycles;
            roots.push_back(scan);
        }
        std::stable_sort(out_.containers.begin(), out_.containers.end(),
                         [](const auto& a, const auto& b) {
                             return std::pair(a.listOrder, a.id) < std::pair(b.listOrder, b.id);
                         });
        if (orphans > 0)
            warn("has " + std::to_string(orphans) +
                 " crates whose parent crate is not in it; they are shown at the top level");
        if (cycles > 0)
            warn("has crates that are their own parents (a cycle); " + std::to_string(cycles) +
                 " of them are shown at the top level");
        if (tooDeep > 0)
            warn("nests " + std::to_string(tooDeep) + " crates deeper than " +
                 std::to_string(options_.maxDepth) + " levels; they are shown at the top level");
    }

    void readAssets() {
        if (!has("asset", "id")) return warn("has no tracks (no asset table)");
        if (const Statement counted = prepare("SELECT COUNT(*) FROM asset")) {
            each(counted,
                 [&](sqlite3_stmt* row) { out_.assetCount = sqlite3_column_int64(row, 0); });
        }
        if (!options_.readAssets) return;
        const auto& keep = options_.keepAsset;
        const Statement rows = prepare("SELECT * FROM asset ORDER BY id" +
                                       (keep ? std::string() : limit(options_.maxAssets)));
        if (!rows) return;
        const auto& known = MasterDatabase::knownAssetColumns();
        const std::set<std::string> knownSet(known.begin(), known.end());
        const int width = sqlite3_column_count(rows.get());
        std::vector<std::string> names;
        for (int c = 0; c < width; ++c) names.emplace_back(sqlite3_column_name(rows.get(), c));
        const auto at = [&](const char* name) {
            return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
        };
        const int volumeColumn = at("location_id"), portableColumn = at("portable_id");
        std::size_t count = 0;
        each(rows, [&](sqlite3_stmt* row) {
            if (count > options_.maxAssets) return;
            // Asked before the row is taken apart: most rows are not wanted.
            if (keep && !keep(volumeColumn < width ? sqlite3_column_int64(row, volumeColumn) : 0,
                              portableColumn < width ? text(row, portableColumn) : std::string()))
                return;
            MasterDatabase::Asset asset;
            for (int c = 0; c < width; ++c) {
                if (!knownSet.contains(names[c])) {
                    asset.extra[names[c]] = sqlite3_column_type(row, c) == SQLITE_NULL
                                                ? std::nullopt
                                                : std::optional(text(row, c));
                    continue;
                }
                if (names[c] == "id") asset.id = sqlite3_column_int64(row, c);
                if (names[c] == "location_id") asset.volumeId = sqlite3_column_int64(row, c);
                if (names[c] == "portable_id") asset.portableId = text(row, c);
                asset.fields[names[c]] = value(row, c);
            }
            if (++count > options_.maxAssets) return;
            out_.assets.push_back(std::move(asset));
        });
        bounded(count, options_.maxAssets, "tracks", false);
    }

    sqlite3* db_;
    const std::filesystem::path& file_;
    MasterDatabase& out_;
    const MasterDatabase::Options& options_;
    bool failed_ = false;
    std::map<std::string, std::set<std::string>> columns_;
    std::unordered_map<std::int64_t, std::size_t> index_;  // container id → index in flat
};

}  // namespace

std::map<std::int64_t, std::size_t> MasterDatabase::Container::countsByVolume() const {
    std::map<std::int64_t, std::size_t> counts;
    for (const auto& entry : entries) ++counts[entry.volumeId];
    return counts;
}

const std::vector<std::string>& MasterDatabase::knownAssetColumns() {
    static const std::vector<std::string> names{
        "id", "external_id", "location_id", "portable_id", "file_name", "file_size",
        "file_bit_rate", "file_sample_rate", "type", "format", "artist", "color", "comments",
        "comment_language", "comment_descriptor", "grouping", "remixer", "name", "album",
        "composer", "year", "genre", "key", "label", "rating", "emoji", "bpm", "length_sec",
        "length_ms", "time_added", "time_modified", "part_of_set", "track_number",
        "video_portable_id", "is_corrupt", "corrupt_description", "is_missing", "is_readonly",
        "is_beatgrid_locked", "third_party_type", "is_stale", "is_whitelabel", "is_karaoke",
        "dj_play_count", "dj_recently_played", "analysis_flags", "architectures",
        "stems_analyze_state", "type_specific_data", "file_name_norm", "name_norm",
        "artist_norm", "album_norm", "genre_norm", "comments_norm", "label_norm", "remixer_norm",
        "grouping_norm", "composer_norm", "year_norm", "key_norm", "key_value"};
    return names;
}

MasterDatabase MasterDatabase::read(const std::filesystem::path& file, const Options& options) {
    MasterDatabase out;
    try {
        // Only a regular file is opened: SQLite would wait forever on a FIFO for a writer.
        if (!platform::isRegularFile(file)) {
            out.warnings.push_back(
                "Serato's database " + platform::toUtf8(file) +
                (platform::fileExists(file) ? " is not a regular file." : " does not exist."));
            return out;
        }
        // A relative name is anchored with "./": SQLite would take ":memory:", "" or
        // "file:..." as something other than this file.
        std::string name = platform::toUtf8(file);
        if (file.is_relative()) name.insert(0, "./");
        // A read-only connection to a WAL database makes -wal and -shm files it cannot remove
        // again. Where there is no -wal yet, the connection is opened read-write, so that
        // closing it removes what it made, and `query_only` keeps it from changing anything;
        // with one already there (Serato running), a read-only connection adds nothing.
        const bool walThere = platform::fileExists(platform::toPath(name + "-wal"));
        Connection db;
        int code = SQLITE_CANTOPEN;
        for (const int flags : {SQLITE_OPEN_READWRITE, SQLITE_OPEN_READONLY}) {
            if (walThere && flags == SQLITE_OPEN_READWRITE) continue;
            sqlite3* raw = nullptr;
            code = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
            db.reset(raw);  // closed even when the open failed
            if (code == SQLITE_OK) break;
        }
        if (code != SQLITE_OK) {
            out.warnings.push_back("Serato's database " + platform::toUtf8(file) +
                                   " could not be opened: " + sqlite3_errmsg(db.get()) + ".");
            return out;
        }
        sqlite3_exec(db.get(), "PRAGMA query_only = ON", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(db.get(), static_cast<int>(options.busyTimeout.count()));
        Reader(db.get(), file, out, options).run();
    } catch (const std::exception& error) {
        out.partial = true;
        out.warnings.push_back("Serato's database " + platform::toUtf8(file) +
                               " could not be read whole: " + error.what() + ".");
    }
    return out;
}

}  // namespace morrowdeck
