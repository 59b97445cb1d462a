#include "library/sqlite_copy.h"

#include <sqlite3.h>

#include <memory>

#include "platform/file_system.h"

namespace morrowdeck {

namespace {

struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, Close>;

// A relative name is anchored with "./" so that SQLite never takes it for ":memory:" or a URI.
Connection open(const std::filesystem::path& file, int flags, std::string& problem) {
    std::string name = file.native();
    if (file.is_relative()) name.insert(0, "./");
    sqlite3* raw = nullptr;
    const int result = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
    Connection db(raw);  // closed even when the open failed, as SQLite requires
    if (result != SQLITE_OK) {
        problem = "couldn't open " + file.native() + ": " +
                  (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(result));
        return nullptr;
    }
    sqlite3_busy_timeout(raw, 3000);
    return db;
}

}  // namespace

std::string copySqliteDatabase(const std::filesystem::path& from, const std::filesystem::path& to) {
    // Only a regular file is opened: SQLite would wait forever on a FIFO for a writer.
    if (!platform::isRegularFile(from)) return from.native() + " is not a regular file";
    std::string problem;
    const Connection source = open(from, SQLITE_OPEN_READONLY, problem);
    if (!source) return problem;
    const Connection target = open(to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, problem);
    if (!target) return problem;
    sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
    if (backup == nullptr) return sqlite3_errmsg(target.get());
    // One step copies every page under one read lock, so the copy is of one moment.
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE)
        return std::string(sqlite3_errstr(stepped)) + " (" + to.native() + ")";
    if (finished != SQLITE_OK) return sqlite3_errmsg(target.get());
    return {};
}

std::string checkSqliteDatabase(const std::filesystem::path& file) {
    if (!platform::isRegularFile(file)) return file.native() + " is not a regular file";
    std::string problem;
    const Connection db = open(file, SQLITE_OPEN_READONLY, problem);
    if (!db) return problem;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), "PRAGMA quick_check", -1, &raw, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db.get());
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    if (sqlite3_step(raw) != SQLITE_ROW) return sqlite3_errmsg(db.get());
    const unsigned char* result = sqlite3_column_text(raw, 0);
    const std::string text = result ? reinterpret_cast<const char*>(result) : "";
    return text == "ok" ? std::string() : "damaged database: " + text;
}

}  // namespace morrowdeck
