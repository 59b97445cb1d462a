#include "library/serato_sql.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "library/sqlite_handles.h"
#include "library/text_encoding.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck::SeratoSQL {

namespace {

constexpr const char* selectAssets =
    "SELECT portable_id, rating, color, bpm, dj_play_count FROM asset";
constexpr const char* selectRules =
    "SELECT c.name, scr.rules FROM smart_crate_rules scr "
    "JOIN container c ON scr.container_id = c.id";
constexpr const char* updateAsset =
    "UPDATE asset SET rating = COALESCE(?, rating), color = COALESCE(?, color), "
    "dj_play_count = COALESCE(?, dj_play_count) WHERE portable_id = ?";
constexpr const char* selectExactContainers =
    "SELECT id FROM container WHERE type = 2 AND name = ? LIMIT 2";
constexpr const char* selectPrefixContainers =
    "SELECT id, name FROM container WHERE type = 2 AND name LIKE ? ESCAPE '\\'";
constexpr const char* insertRules =
    "INSERT OR REPLACE INTO smart_crate_rules (container_id, version, rules) VALUES (?, 1, ?)";

// How long other programs' locks are waited for, in all, by one apply.
constexpr std::chrono::milliseconds busyTimeout{3000};

using Connection = SqliteConnection;
using Statement = SqliteStatement;

// The handle is kept (and so closed) even when the open fails, as sqlite3_open_v2 requires.
// Only a regular file is opened: SQLite would wait forever on a FIFO for a writer.
Connection open(const std::filesystem::path& file, int flags, bool& opened) {
    opened = false;
    if (!platform::isRegularFile(file)) return nullptr;
    // A relative name is anchored with "./" so that it always names a file: SQLite would take
    // ":memory:" or "" as a private database and, with URI names enabled, "file:..." as a URI.
    std::string name = platform::toUtf8(file);
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

// Failures of a single row (a CHECK or type refusal, an error raised by a trigger) leave the
// other rows to be written; any other failure concerns the database itself.
bool rowOnly(int code) {
    switch (code & 0xFF) {
        case SQLITE_CONSTRAINT:
        case SQLITE_ERROR:
        case SQLITE_MISMATCH:
        case SQLITE_TOOBIG:
        case SQLITE_RANGE:
            return true;
        default:
            return false;
    }
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, {}, lower, lower);
}

// The name as a LIKE pattern for every text that starts with it: "%", "_" and the escape
// character itself match only themselves.
std::string prefixPattern(std::string_view name) {
    std::string pattern;
    for (const char c : name) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern + '%';
}

// Appends the ids of the rows the statement gives (column 0); SQLite's result code.
int appendIds(sqlite3_stmt* statement, std::vector<std::int64_t>& ids,
              const std::string& cleanedAs = {}) {
    int code = SQLITE_OK;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!cleanedAs.empty()) {
            const auto name = columnText(statement, 1);
            if (!name || !equalIgnoringAsciiCase(cleanName(*name), cleanedAs)) continue;
        }
        ids.push_back(sqlite3_column_int64(statement, 0));
    }
    return code == SQLITE_DONE ? SQLITE_OK : code;
}

// The smart-crate containers a staged name stands for: those of exactly the name (so that
// "House" never takes the rules of "House Classics"), else those that read back as the name
// (the name was cut by cleanName). "Kee" is never "Keep Me", and "%" or "_" match only
// themselves. Returns SQLite's result code.
int containersFor(sqlite3* db, const std::string& name, std::vector<std::int64_t>& ids) {
    ids.clear();
    const Statement exact = prepare(db, selectExactContainers);
    if (!exact) return sqlite3_errcode(db);
    bindText(exact.get(), 1, name);
    if (const int code = appendIds(exact.get(), ids); code != SQLITE_OK || !ids.empty())
        return code;
    const Statement prefix = prepare(db, selectPrefixContainers);
    if (!prefix) return sqlite3_errcode(db);
    bindText(prefix.get(), 1, prefixPattern(name));
    return appendIds(prefix.get(), ids, name);
}

// Gives up when the deadline of the whole apply has passed; until then waits and retries.
int waitUntilDeadline(void* deadline, int) {
    if (std::chrono::steady_clock::now() >= *static_cast<std::chrono::steady_clock::time_point*>(
                                                 deadline))
        return 0;
    sqlite3_sleep(10);
    return 1;
}

ApplyResult failure(sqlite3* db, int code) {
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return {0, 0, std::string(lockedErrorText), {}};
        case SQLITE_READONLY:
            return {0, 0, std::string(readOnlyErrorText), {}};
        default:
            return {0, 0, std::string(writeErrorText) + sqlite3_errstr(code) + ".", {}};
    }
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

std::optional<Library> read(const std::filesystem::path& from, std::string* problem) {
    std::string unused;
    std::string& reason = problem != nullptr ? *problem : unused;
    bool opened = false;
    const Connection db = open(from, SQLITE_OPEN_READONLY, opened);
    if (!opened) {
        if (!platform::isRegularFile(from)) {
            if (platform::fileExists(from)) reason = "not a regular file";
        } else {
            reason = sqlite3_errmsg(db.get());
        }
        return std::nullopt;
    }
    // The first statement failure names what was not read ("database is locked").
    const auto fail = [&] {
        if (reason.empty()) reason = sqlite3_errmsg(db.get());
    };

    Library library;
    if (const Statement assets = prepare(db.get(), selectAssets)) {
        sqlite3_stmt* row = assets.get();
        int code = SQLITE_OK;
        while ((code = sqlite3_step(row)) == SQLITE_ROW) {
            auto key = columnText(row, 0);
            if (!key) continue;
            AssetMeta meta{columnDouble(row, 1), columnInt64(row, 2), columnDouble(row, 3),
                           columnInt64(row, 4)};
            if (!meta.rating && !meta.color && !meta.playCount) continue;
            library.assets.insert_or_assign(std::move(*key), meta);
        }
        if (code != SQLITE_DONE) fail();
    } else {
        fail();
    }

    const Statement rules = prepare(db.get(), selectRules);
    if (!rules) {
        fail();
        return library;
    }
    int code = SQLITE_OK;
    while ((code = sqlite3_step(rules.get())) == SQLITE_ROW) {
        auto name = columnText(rules.get(), 0);
        auto text = columnText(rules.get(), 1);
        if (!name || !text) continue;
        library.smartCrates.push_back({cleanName(*name), std::move(*text)});
    }
    if (code != SQLITE_DONE) fail();
    return library;
}

ApplyResult apply(const Library& library, const std::filesystem::path& to) {
    bool opened = false;
    const Connection connection = open(to, SQLITE_OPEN_READWRITE, opened);
    if (!opened) return {0, 0, std::string(openErrorText), {}};
    sqlite3* db = connection.get();

    // One deadline for the whole run: a database locked by another program is given up on
    // once, not once per statement.
    auto deadline = std::chrono::steady_clock::now() + busyTimeout;
    sqlite3_busy_handler(db, waitUntilDeadline, &deadline);
    // IMMEDIATE takes the write lock now, so a lock, a read-only file or a file that is no
    // database is found before anything is counted.
    if (const int code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        code != SQLITE_OK)
        return failure(db, code);

    ApplyResult result;
    if (!library.assets.empty()) {
        const Statement update = prepare(db, updateAsset);
        if (!update) return failure(db, sqlite3_errcode(db));
        sqlite3_stmt* statement = update.get();
        for (const auto& [key, meta] : library.assets) {
            // A record with nothing to write would still count as an updated row.
            if (!meta.rating && !meta.color && !meta.playCount) continue;
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
            // NULL: COALESCE keeps the stored value.
            bindDouble(statement, 1, meta.rating);
            bindInt64(statement, 2, meta.color);
            bindInt64(statement, 3, meta.playCount);
            bindText(statement, 4, key);
            const int code = sqlite3_step(statement);
            if (code == SQLITE_DONE) {
                result.assetsUpdated += sqlite3_changes(db);
            } else if (!rowOnly(code)) {
                return failure(db, code);
            }
        }
    }

    std::vector<std::int64_t> ids;
    for (const auto& crate : library.smartCrates) {
        // An empty name, or one that SQLite would cut at a NUL, names no container.
        if (crate.name.empty() || crate.name.find('\0') != std::string::npos) {
            ids.clear();
        } else if (const int code = containersFor(db, crate.name, ids); code != SQLITE_OK) {
            return failure(db, code);
        }
        const std::string quoted = "\"" + std::string(crate.name.c_str()) + "\"";
        if (ids.size() != 1) {
            result.warnings.push_back(
                ids.empty() ? "No smart crate named " + quoted +
                                  " in Serato's database; its rules were not written."
                            : "More than one smart crate in Serato's database is named " +
                                  quoted + "; its rules were not written.");
            continue;
        }
        const Statement insert = prepare(db, insertRules);
        if (!insert) return failure(db, sqlite3_errcode(db));
        sqlite3_bind_int64(insert.get(), 1, ids.front());
        bindText(insert.get(), 2, crate.rules);
        const int code = sqlite3_step(insert.get());
        if (code == SQLITE_DONE) {
            ++result.rulesWritten;
        } else if (!rowOnly(code)) {
            return failure(db, code);
        }
    }

    // A commit that fails (a reader outlasting the deadline) leaves nothing written.
    if (const int code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); code != SQLITE_OK)
        return failure(db, code);
    return result;
}

}  // namespace morrowdeck::SeratoSQL
