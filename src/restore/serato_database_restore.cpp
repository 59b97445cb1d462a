#include "restore/serato_database_restore.h"

#include <sqlite3.h>

#include <cerrno>
#include <set>

#include "engine/backup_layout.h"
#include "library/serato_folder.h"
#include "library/sqlite_handles.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view notPutBack = "Serato's database was not put back: ";

// A path as a volume's mount point is compared: without trailing slashes, "/" kept.
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string quotedList(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& item : items)
        list += (list.empty() ? "" : ", ") + quoted(item);
    return list;
}

// An SQLite URI for a file: every byte but letters, digits, "/", "-", "." and "_" escaped.
std::string fileUri(const fs::path& file, std::string_view query) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    const fs::path absolute = fs::absolute(file);
    for (const char c : platform::toUtf8(absolute)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '.' || c == '_';
        if (plain)
            uri += c;
        else
            uri += {'%', hex[byte >> 4], hex[byte & 15]};
    }
    return uri + "?" + std::string(query);
}

// What SQLite's quick check says of an open database: empty when it passes.
std::string quickCheck(sqlite3* db) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &raw, nullptr);
    const SqliteStatement statement(raw);
    if (!statement || sqlite3_step(raw) != SQLITE_ROW) return sqlite3_errmsg(db);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    const std::string result = text ? text : "";
    return result == "ok" ? std::string() : result;
}

// The distinct non-empty paths of the `location` table, or the problem.
std::string readLocationPaths(sqlite3* db, std::vector<std::string>& paths) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT DISTINCT path FROM location WHERE path IS NOT NULL", -1,
                           &raw, nullptr) != SQLITE_OK)
        return std::string("no table of volumes (") + sqlite3_errmsg(db) + ")";
    const SqliteStatement statement(raw);
    int stepped = SQLITE_ROW;
    while ((stepped = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        const int size = sqlite3_column_bytes(raw, 0);
        if (text && size > 0) paths.emplace_back(text, static_cast<std::size_t>(size));
    }
    return stepped == SQLITE_DONE ? std::string() : sqlite3_errmsg(db);
}

// Opens the backup's copy as a file nothing changes: read-only and immutable, so SQLite
// takes no lock and makes no -wal or -shm beside it (the backup may be on a read-only drive),
// then checks it and reads its volume paths. Empty on success, else what is wrong.
std::string readSavedCopy(const fs::path& file, std::vector<std::string>& paths) {
    if (!platform::isRegularFile(file)) return "it is not a regular file";
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(fileUri(file, "mode=ro&immutable=1").c_str(), &raw,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    const SqliteConnection db(raw);
    if (opened != SQLITE_OK) return raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened);
    if (std::string problem = quickCheck(raw); !problem.empty()) return problem;
    return readLocationPaths(raw, paths);
}


// The temporary copy and what SQLite may have made beside it.
void removeTemporary(const fs::path& file) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        platform::removeFile(platform::toPath(platform::toUtf8(file) + suffix));
}

// Rewrites the mapped volume paths in the temporary copy (which no other program knows of),
// checks it again and reads back its volume paths. Empty on success, else what went wrong.
std::string finishCopy(const fs::path& file,
                       const std::vector<std::pair<std::string, std::string>>& mapped,
                       std::vector<std::string>& paths) {
    std::string name = platform::toUtf8(file);
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(name.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    SqliteConnection db(raw);
    if (opened != SQLITE_OK) return raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened);
    const auto failed = [&] { return std::string(sqlite3_errmsg(raw)); };
    // Only the paths change: Serato's triggers call functions only Serato registers, and
    // their bookkeeping is Serato's to do when it next opens the database.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    if (!mapped.empty()) {
        if (sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return failed();
        sqlite3_stmt* update = nullptr;
        if (sqlite3_prepare_v2(raw, "UPDATE location SET path = ?1 WHERE path = ?2", -1, &update,
                               nullptr) != SQLITE_OK)
            return failed();
        const SqliteStatement statement(update);
        for (const auto& [from, to] : mapped) {
            sqlite3_reset(update);
            sqlite3_bind_text(update, 1, to.data(), static_cast<int>(to.size()), SQLITE_STATIC);
            sqlite3_bind_text(update, 2, from.data(), static_cast<int>(from.size()), SQLITE_STATIC);
            if (sqlite3_step(update) != SQLITE_DONE) return failed();
        }
        if (sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return failed();
    }
    if (std::string problem = quickCheck(raw); !problem.empty()) return "damaged: " + problem;
    if (std::string problem = readLocationPaths(raw, paths); !problem.empty()) return problem;
    // Closed here so that a -wal is checkpointed into the file and removed before it is renamed.
    if (const int closed = sqlite3_close(db.release()); closed != SQLITE_OK)
        return sqlite3_errstr(closed);
    return {};
}

}  // namespace

std::optional<std::pair<std::string, std::string>> SeratoDatabaseRestore::parseMapping(
    std::string_view text, std::string& error) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        error = "\"" + std::string(text) + "\" is not OLD=NEW.";
        return std::nullopt;
    }
    std::string from(text.substr(0, equals)), to(text.substr(equals + 1));
    if (from.empty() || to.empty()) {
        error =
            "\"" + std::string(text) + "\" names no " + (from.empty() ? "old" : "new") + " path.";
        return std::nullopt;
    }
    if (to.front() != '/') {
        error = "\"" + std::string(text) + "\": the new path " + to + " is not absolute.";
        return std::nullopt;
    }
    return std::pair{withoutTrailingSlash(std::move(from)), withoutTrailingSlash(std::move(to))};
}

std::string SeratoDatabaseRestore::Plan::description() const {
    if (refused()) return "Serato's database would not be put back: " + refusal;
    std::string text = "Would put back Serato's database " + platform::toUtf8(database) + " from " +
                       platform::toUtf8(savedCopy);
    for (const auto& [from, to] : mapped)
        text += (&from == &mapped.front().first ? "; volume " : ", ") + quoted(from) + " as " +
                quoted(to);
    return text + ".";
}

SeratoDatabaseRestore::Plan SeratoDatabaseRestore::plan(const fs::path& backupRoot,
                                                        const Request& request) {
    Plan plan;
    plan.database = request.database.empty() ? SeratoFolder::masterDatabase() : request.database;
    plan.savedCopy =
        backupRoot / BackupLayout::metadataFolder / BackupLayout::seratoDatabaseCopyName;
    const std::string database = platform::toUtf8(plan.database);
    if (platform::itemExists(plan.database)) {
        plan.refusal = database + " exists already, and an existing database is never replaced.";
        return plan;
    }
    // SQLite would apply such a leftover journal to the new file as if it were its own.
    for (const char* suffix : {"-wal", "-journal"}) {
        if (platform::itemExists(platform::toPath(database + suffix))) {
            plan.refusal =
                database + suffix + " is there without its database; move it away first.";
            return plan;
        }
    }
    if (!platform::itemExists(plan.savedCopy)) {
        plan.refusal = "the backup holds no copy of it (" + platform::toUtf8(plan.savedCopy) +
                       "); backups of libraries without one, and those made before Morrowdeck "
                       "saved it, have none.";
        return plan;
    }
    std::vector<std::string> paths;
    if (const auto problem = readSavedCopy(plan.savedCopy, paths); !problem.empty()) {
        plan.refusal = "the backup's copy " + platform::toUtf8(plan.savedCopy) +
                       " is damaged or no database (" + problem + ").";
        return plan;
    }

    std::map<std::string, std::string> unused(request.volumeMap.begin(), request.volumeMap.end());
    std::vector<std::string> unmatched, badTargets;
    std::set<std::string> seen;
    for (const auto& path : paths) {
        if (!seen.insert(path).second) continue;
        const auto mapping = request.volumeMap.find(withoutTrailingSlash(path));
        if (mapping == request.volumeMap.end()) {
            if (!platform::isDirectory(platform::toPath(path))) unmatched.push_back(path);
            continue;
        }
        unused.erase(mapping->first);
        if (!platform::isDirectory(platform::toPath(mapping->second)))
            badTargets.push_back(mapping->second);
        else
            plan.mapped.emplace_back(path, mapping->second);
    }
    for (const auto& [from, to] : unused)
        plan.unusedMappings.push_back(from);
    if (!unmatched.empty()) {
        plan.refusal = "its volume path(s) " + quotedList(unmatched) +
                       " are no folder on this machine; map each to one with "
                       "--map-volume OLD=NEW.";
    } else if (!badTargets.empty()) {
        plan.refusal = "the volume path(s) mapped to " + quotedList(badTargets) +
                       " are no folder on this machine.";
    }
    return plan;
}

SeratoDatabaseRestore::Outcome SeratoDatabaseRestore::put(const fs::path& backupRoot,
                                                          const Request& request,
                                                          UndoJournal& journal) {
    const Plan plan = SeratoDatabaseRestore::plan(backupRoot, request);
    Outcome outcome;
    for (const auto& path : plan.unusedMappings)
        outcome.warnings.push_back("No volume of Serato's saved database has the path " +
                                   quoted(path) + "; its mapping was not used.");
    if (plan.refused()) {
        outcome.message = std::string(notPutBack) + plan.refusal;
        return outcome;
    }
    const fs::path& database = plan.database;
    const auto failed = [&](const std::string& why) {
        outcome.message = "Couldn't put back Serato's database " + platform::toUtf8(database) +
                          ": " + why + ". Nothing was written there.";
        return outcome;
    };
    if (const int error = journal.createFolder(database.parent_path()); error != 0)
        return failed("its folder could not be made (" + platform::errorText(error) + ")");

    // The copy takes a fresh name: one that exists is never written into.
    fs::path temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 10 && error == EEXIST; ++attempt) {
        temporary = platform::temporaryNameBeside(database);
        error = platform::copyFileDurably(plan.savedCopy, temporary);
    }
    if (error != 0) return failed(platform::errorText(error));
    std::vector<std::string> paths;
    std::string problem = finishCopy(temporary, plan.mapped, paths);
    // What is written is checked again, as the backup's file may have changed since the plan.
    for (const auto& path : paths)
        if (problem.empty() && !platform::isDirectory(platform::toPath(path)))
            problem = "its volume path " + quoted(path) + " is no folder on this machine";
    if (problem.empty())
        if (const int synced = platform::syncFile(temporary); synced != 0)
            problem = platform::errorText(synced);
    if (problem.empty()) {
        if (const int renamed = platform::renameWithoutReplacing(temporary, database);
            renamed == EEXIST) {
            removeTemporary(temporary);
            outcome.message = std::string(notPutBack) + platform::toUtf8(database) +
                              " appeared while the copy was made and was left as it is.";
            return outcome;
        } else if (renamed != 0) {
            problem = platform::errorText(renamed);
        }
    }
    if (!problem.empty()) {
        removeTemporary(temporary);
        return failed(problem);
    }
    platform::syncFolder(database.parent_path());
    journal.wrote(database, UndoJournal::Kind::database);
    outcome.written = true;
    outcome.message =
        "Put back Serato's database " + platform::toUtf8(database) + " from the backup's copy";
    for (const auto& [from, to] : plan.mapped)
        outcome.message += (&from == &plan.mapped.front().first ? "; volume " : ", ") +
                           quoted(from) + " is now " + quoted(to);
    outcome.message += ".";
    return outcome;
}

}  // namespace morrowdeck
