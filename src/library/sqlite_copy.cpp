#include "library/sqlite_copy.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, Close>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    return {raw, sqlite3_finalize};
}

// Appends the value tagged with its type; lengths make the encoding unambiguous.
void encodeValue(sqlite3_stmt* statement, int column, std::vector<std::uint8_t>& out) {
    const auto appendNumber = [&](std::uint64_t n) {
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    };
    const int type = sqlite3_column_type(statement, column);
    out.push_back(static_cast<std::uint8_t>(type));
    if (type == SQLITE_INTEGER) {
        appendNumber(static_cast<std::uint64_t>(sqlite3_column_int64(statement, column)));
    } else if (type == SQLITE_FLOAT) {
        const double value = sqlite3_column_double(statement, column);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        appendNumber(bits);
    } else if (type != SQLITE_NULL) {
        const auto* data = static_cast<const std::uint8_t*>(
            type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(statement, column))
                                : sqlite3_column_blob(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        appendNumber(static_cast<std::uint64_t>(size));
        if (size > 0) out.insert(out.end(), data, data + size);
    }
}

// Hands every row of `statement` to `sink`, one row at a time.
std::string encodeRows(sqlite3* db, sqlite3_stmt* statement,
                       const std::function<void(std::span<const std::uint8_t>)>& sink) {
    std::vector<std::uint8_t> row;
    int stepped = SQLITE_ROW;
    while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
        row.assign(1, 'R');
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            encodeValue(statement, column, row);
        sink(row);
    }
    return stepped == SQLITE_DONE ? std::string() : sqlite3_errmsg(db);
}

std::string quotedName(const std::string& name) {
    std::string quoted = "\"";
    for (const char c : name)
        quoted += c == '"' ? std::string(2, '"') : std::string(1, c);
    return quoted + "\"";
}

// A relative name is anchored with "./" so that SQLite never takes it for ":memory:" or a URI.
Connection open(const std::filesystem::path& file, int flags, std::string& problem,
                std::chrono::milliseconds busyTimeout = std::chrono::milliseconds(3000)) {
    std::string name = platform::toUtf8(file);
    if (file.is_relative()) name.insert(0, "./");
    sqlite3* raw = nullptr;
    const int result = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
    Connection db(raw);  // closed even when the open failed, as SQLite requires
    if (result != SQLITE_OK) {
        problem = "couldn't open " + platform::toUtf8(file) + ": " +
                  (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(result));
        return nullptr;
    }
    sqlite3_busy_timeout(raw, static_cast<int>(busyTimeout.count()));
    return db;
}

// The quick check of an open database: empty when it passes.
std::string quickCheck(sqlite3* db) {
    const auto statement = prepare(db, "PRAGMA quick_check");
    if (!statement) return sqlite3_errmsg(db);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) return sqlite3_errmsg(db);
    const unsigned char* result = sqlite3_column_text(statement.get(), 0);
    const std::string text = result ? reinterpret_cast<const char*>(result) : "";
    return text == "ok" ? std::string() : "damaged database: " + text;
}

// Header offsets of what SQLite's pager and online backup set in a copy as they commit it:
// the file change counter, the schema cookie, and the copy of the counter that says the
// header's page count is valid.
constexpr std::size_t changeCounterAt = 24;
constexpr std::size_t schemaCookieAt = 40;
constexpr std::size_t validForAt = 92;

// Gives the copy the source file's values of those fields. Only while the source file holds
// the whole database (no -wal with pages in it): then its header is the page the copy was made
// from. The copy's counter and its valid-for copy are always equal; the source's are used only
// when they are too. Empty on success.
std::string copyHeaderCounters(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (const auto wal = platform::fileInfo(platform::toPath(platform::toUtf8(from) + "-wal"));
        wal && wal->size > 0)
        return {};
    std::array<std::uint8_t, 100> header{};
    std::ifstream source(from, std::ios::binary);
    if (!source.read(reinterpret_cast<char*>(header.data()), header.size())) return {};
    std::vector<std::size_t> fields{schemaCookieAt};
    if (std::equal(header.begin() + changeCounterAt, header.begin() + changeCounterAt + 4,
                   header.begin() + validForAt))
        fields.insert(fields.end(), {changeCounterAt, validForAt});
    std::fstream copy(to, std::ios::in | std::ios::out | std::ios::binary);
    for (const std::size_t at : fields) {
        copy.seekp(static_cast<std::streamoff>(at));
        copy.write(reinterpret_cast<const char*>(header.data() + at), 4);
    }
    copy.flush();
    return copy ? std::string() : "couldn't write " + platform::toUtf8(to);
}

}  // namespace

std::string copySqliteDatabase(const std::filesystem::path& from, const std::filesystem::path& to) {
    return copySqliteDatabase(from, to, SqliteCopyOptions{}).problem;
}

SqliteCopyResult copySqliteDatabase(const std::filesystem::path& from,
                                    const std::filesystem::path& to,
                                    const SqliteCopyOptions& options) {
    // Only a regular file is opened: SQLite would wait forever on a FIFO for a writer.
    if (!platform::isRegularFile(from)) return {platform::toUtf8(from) + " is not a regular file"};
    std::string problem;
    Connection source;
    // Read-write by default although it only reads, for the reason readSqliteContent gives: a
    // read-only connection leaves empty -wal and -shm files beside a WAL database.
    if (!options.readOnlySource)
        source = open(from, SQLITE_OPEN_READWRITE, problem, options.busyTimeout);
    if (!source) source = open(from, SQLITE_OPEN_READONLY, problem, options.busyTimeout);
    if (!source) return {problem};
    {
        const Connection target =
            open(to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, problem, options.busyTimeout);
        if (!target) return {problem};
        sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
        if (backup == nullptr) return {sqlite3_errmsg(target.get())};
        // One step copies every page under one read lock, so the copy is of one moment.
        const int stepped = sqlite3_backup_step(backup, -1);
        const int finished = sqlite3_backup_finish(backup);
        if (stepped != SQLITE_DONE)
            return {std::string(sqlite3_errstr(stepped)) + " (" + platform::toUtf8(to) + ")",
                    stepped == SQLITE_BUSY || stepped == SQLITE_LOCKED};
        if (finished != SQLITE_OK) return {sqlite3_errmsg(target.get())};
        if (options.checkCopy)
            if (auto damaged = quickCheck(target.get()); !damaged.empty()) return {damaged};
    }
    if (options.sameHeader) return {copyHeaderCounters(from, to)};
    return {};
}

std::string checkSqliteDatabase(const std::filesystem::path& file) {
    if (!platform::isRegularFile(file)) return platform::toUtf8(file) + " is not a regular file";
    std::string problem;
    const Connection db = open(file, SQLITE_OPEN_READONLY, problem);
    if (!db) return problem;
    return quickCheck(db.get());
}

std::string readSqliteContent(const std::filesystem::path& file,
                              const std::function<void(std::span<const std::uint8_t>)>& sink) {
    if (!platform::isRegularFile(file)) return platform::toUtf8(file) + " is not a regular file";
    std::string problem;
    // Read-write although it only reads: a read-only connection cannot remove the -wal and
    // -shm files it makes beside a WAL database, and they would be left behind.
    Connection db = open(file, SQLITE_OPEN_READWRITE, problem);
    if (!db) db = open(file, SQLITE_OPEN_READONLY, problem);
    if (!db) return problem;
    // One read transaction: every table is read as of the same moment.
    if (sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db.get());
    const auto schema = prepare(db.get(),
                                "SELECT type, name, tbl_name, sql FROM sqlite_schema "
                                "ORDER BY type, name");
    if (!schema) return sqlite3_errmsg(db.get());
    if (problem = encodeRows(db.get(), schema.get(), sink); !problem.empty()) return problem;

    std::vector<std::string> tables;
    const auto list = prepare(db.get(),
                              "SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                              "sql NOT LIKE 'CREATE VIRTUAL TABLE%' ORDER BY name");
    if (!list) return sqlite3_errmsg(db.get());
    while (sqlite3_step(list.get()) == SQLITE_ROW)
        tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)));
    for (const auto& table : tables) {
        const std::string name = quotedName(table);
        const std::string marker = "T" + table + '\0';
        sink(std::span(reinterpret_cast<const std::uint8_t*>(marker.data()), marker.size()));
        // Rows in rowid order, without the rowid itself (VACUUM may renumber it where no
        // column holds it); a table without rowids is read in its key's order.
        auto rows = prepare(db.get(), "SELECT * FROM " + name + " ORDER BY rowid");
        if (!rows) rows = prepare(db.get(), "SELECT * FROM " + name);
        if (!rows) return sqlite3_errmsg(db.get());
        if (problem = encodeRows(db.get(), rows.get(), sink); !problem.empty()) return problem;
    }
    return {};
}

}  // namespace morrowdeck
