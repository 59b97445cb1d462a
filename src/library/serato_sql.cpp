#include "library/serato_sql.h"

#include <sqlite3.h>

#include <memory>

#include "library/text_encoding.h"

namespace morrowdeck::SeratoSQL {

namespace {

constexpr const char* selectAssets =
    "SELECT portable_id, rating, color, bpm, dj_play_count FROM asset";
constexpr const char* selectRules =
    "SELECT c.name, scr.rules FROM smart_crate_rules scr "
    "JOIN container c ON scr.container_id = c.id";
constexpr const char* updateAsset =
    "UPDATE asset SET rating = ?, color = ?, dj_play_count = COALESCE(?, dj_play_count) "
    "WHERE portable_id = ?";
constexpr const char* selectExactContainer =
    "SELECT id FROM container WHERE type = 2 AND name = ? LIMIT 1";
constexpr const char* selectPrefixContainer =
    "SELECT id FROM container WHERE type = 2 AND name LIKE ? LIMIT 1";
constexpr const char* insertRules =
    "INSERT OR REPLACE INTO smart_crate_rules (container_id, version, rules) VALUES (?, 1, ?)";

constexpr int busyTimeoutMilliseconds = 3000;

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// The handle is kept (and so closed) even when the open fails, as sqlite3_open_v2 requires.
Connection open(const std::filesystem::path& file, int flags, bool& opened) {
    // A relative name is anchored with "./" so that it always names a file: SQLite would take
    // ":memory:" or "" as a private database and, with URI names enabled, "file:..." as a URI.
    std::string name = file.native();
    if (file.is_relative()) name.insert(0, "./");
    sqlite3* raw = nullptr;
    opened = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr) == SQLITE_OK;
    return Connection(raw);
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    return Statement(raw);
}

// Text up to its first NUL, as SQLite hands it out; absent for NULL.
std::optional<std::string> columnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (text == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(text));
}

std::optional<double> columnDouble(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(statement, column);
}

std::optional<std::int64_t> columnInt64(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(statement, column);
}

// Length -1: SQLite reads up to the terminating NUL; SQLITE_TRANSIENT: it copies the text.
void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.c_str(), -1, SQLITE_TRANSIENT);
}

void bindDouble(sqlite3_stmt* statement, int index, const std::optional<double>& value) {
    if (value) {
        sqlite3_bind_double(statement, index, *value);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

void bindInt64(sqlite3_stmt* statement, int index, const std::optional<std::int64_t>& value) {
    if (value) {
        sqlite3_bind_int64(statement, index, *value);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

// The id of the first row the query (one text parameter) returns.
std::optional<std::int64_t> firstId(sqlite3* db, const char* sql, const std::string& parameter) {
    Statement statement = prepare(db, sql);
    if (!statement) return std::nullopt;
    bindText(statement.get(), 1, parameter);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(statement.get(), 0);
}

// The smart-crate container for a name: exact name first (so that "House" never takes the
// rules of "House Classics"), then the first name starting with it (LIKE: ASCII case ignored,
// "%" and "_" in the name act as wildcards).
std::optional<std::int64_t> containerFor(sqlite3* db, const std::string& name) {
    if (auto id = firstId(db, selectExactContainer, name)) return id;
    return firstId(db, selectPrefixContainer, name + "%");
}

}  // namespace

std::string cleanName(std::string_view name) {
    // Malformed bytes decode as U+FFFD, which never ends the name.
    for (std::size_t position = 0; position < name.size();) {
        const std::size_t start = position;
        const char32_t scalar = text::nextCodePoint(name, position);
        if (scalar < 0x20 || scalar >= 0xF0000) return std::string(name.substr(0, start));
    }
    return std::string(name);
}

std::optional<Library> read(const std::filesystem::path& from) {
    bool opened = false;
    const Connection db = open(from, SQLITE_OPEN_READONLY, opened);
    if (!opened) return std::nullopt;

    Library library;
    if (const Statement assets = prepare(db.get(), selectAssets)) {
        sqlite3_stmt* row = assets.get();
        while (sqlite3_step(row) == SQLITE_ROW) {
            auto key = columnText(row, 0);
            if (!key) continue;
            AssetMeta meta{columnDouble(row, 1), columnInt64(row, 2), columnDouble(row, 3),
                           columnInt64(row, 4)};
            if (!meta.rating && !meta.color && !meta.playCount) continue;
            library.assets.insert_or_assign(std::move(*key), meta);
        }
    }

    const Statement rules = prepare(db.get(), selectRules);
    if (!rules) return library;
    while (sqlite3_step(rules.get()) == SQLITE_ROW) {
        auto name = columnText(rules.get(), 0);
        auto text = columnText(rules.get(), 1);
        if (!name || !text) continue;
        library.smartCrates.push_back({cleanName(*name), std::move(*text)});
    }
    return library;
}

ApplyResult apply(const Library& library, const std::filesystem::path& to) {
    bool opened = false;
    const Connection connection = open(to, SQLITE_OPEN_READWRITE, opened);
    if (!opened) return {0, 0, std::string(openErrorText)};
    sqlite3* db = connection.get();

    sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);

    ApplyResult result;
    if (const Statement update = prepare(db, updateAsset)) {
        sqlite3_stmt* statement = update.get();
        for (const auto& [key, meta] : library.assets) {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
            bindDouble(statement, 1, meta.rating);
            bindInt64(statement, 2, meta.color);
            bindInt64(statement, 3, meta.playCount);  // NULL: COALESCE keeps the stored count
            bindText(statement, 4, key);
            if (sqlite3_step(statement) == SQLITE_DONE) result.assetsUpdated += sqlite3_changes(db);
        }
    }

    for (const auto& crate : library.smartCrates) {
        // An empty name would make the pattern "%", which matches any smart crate and would
        // overwrite its rules. (A name that starts with NUL is bound as "" and its pattern,
        // cut at the same NUL, as "": it matches no named container.)
        if (crate.name.empty()) continue;
        const auto containerId = containerFor(db, crate.name);
        if (!containerId) continue;
        const Statement insert = prepare(db, insertRules);
        if (!insert) continue;
        sqlite3_bind_int64(insert.get(), 1, *containerId);
        bindText(insert.get(), 2, crate.rules);
        if (sqlite3_step(insert.get()) == SQLITE_DONE) ++result.rulesWritten;
    }

    // A commit that fails (a reader outlasting the busy timeout) leaves nothing written, so
    // the counts must not claim otherwise.
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK &&
        !sqlite3_get_autocommit(db)) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        result.assetsUpdated = 0;
        result.rulesWritten = 0;
    }
    return result;
}

}  // namespace morrowdeck::SeratoSQL
