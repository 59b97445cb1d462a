#include "support/serato_sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "support/fixtures.h"

namespace morrowdeck::test {

namespace {

constexpr const char* minimalSchema =
    "CREATE TABLE asset (id INTEGER PRIMARY KEY, external_id INTEGER, location_id INTEGER, "
    "portable_id TEXT,"
    "                    rating REAL, color INTEGER, bpm REAL, dj_play_count INTEGER);"
    "CREATE TABLE container (id INTEGER PRIMARY KEY, parent_id INTEGER, name TEXT, type INTEGER,"
    "                        list_order INTEGER);"
    "CREATE TABLE smart_crate_rules (container_id INTEGER PRIMARY KEY, version INTEGER, rules "
    "TEXT);";

void firstArgument(sqlite3_context* context, int count, sqlite3_value** values) {
    if (count > 0) sqlite3_result_value(context, values[0]);
}

void minusOne(sqlite3_context* context, int, sqlite3_value**) {
    sqlite3_result_int64(context, -1);
}

}  // namespace

SeratoSqlite::SeratoSqlite(const std::filesystem::path& file, Schema schema) {
    std::filesystem::create_directories(file.parent_path());
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << file;
        return;
    }
    sqlite3_create_function(db_, "serato_str_norm", 1, SQLITE_UTF8, nullptr, firstArgument, nullptr,
                            nullptr);
    sqlite3_create_function(db_, "serato_raw_key_string_to_key_type", 1, SQLITE_UTF8, nullptr,
                            minusOne, nullptr, nullptr);
    if (schema == Schema::existing) return;
    if (schema == Schema::minimal) {
        exec(minimalSchema);
        return;
    }
    std::ifstream in(fixturesRoot() / "schema" / "master-sqlite-schema-excerpt.sql");
    std::stringstream sql;
    sql << in.rdbuf();
    EXPECT_FALSE(sql.str().empty()) << "schema fixture missing";
    exec(sql.str());
    // The excerpt only names Serato's update trigger; its body is abridged here. A program's
    // own connection has no stand-ins, so an update of the columns it watches would fail.
    exec(
        "CREATE TRIGGER after_asset_update AFTER UPDATE OF file_name, name, artist, album, genre,"
        " comments, label, remixer, grouping, composer, year, key ON main.asset BEGIN UPDATE asset"
        " SET name_norm = serato_str_norm(name), key_value = serato_raw_key_string_to_key_type(key)"
        " WHERE asset.id = new.id; END");
    exec("INSERT INTO location (id, path) VALUES (1, '/')");
}

SeratoSqlite::~SeratoSqlite() {
    sqlite3_close(db_);
}

void SeratoSqlite::exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        ADD_FAILURE() << (message ? message : "sqlite error") << " in: " << sql;
    }
    sqlite3_free(message);
}

void SeratoSqlite::addAsset(const std::string& portableId, const std::string& rating,
                            const std::string& color, const std::string& bpm,
                            const std::string& playCount) {
    exec(
        "INSERT INTO asset (external_id, location_id, portable_id, rating, color, bpm, "
        "dj_play_count) VALUES (" +
        std::to_string(nextExternalId_++) + ", 1, " + sqlQuote(portableId) + ", " + rating + ", " +
        color + ", " + bpm + ", " + playCount + ")");
}

void SeratoSqlite::addSmartCrate(std::int64_t id, const std::string& name,
                                 const std::string& rules) {
    exec("INSERT INTO container (id, name, type, list_order) VALUES (" + std::to_string(id) + ", " +
         sqlQuote(name) + ", 2, " + std::to_string(id) + ")");
    exec("INSERT INTO smart_crate_rules (container_id, version, rules) VALUES (" +
         std::to_string(id) + ", 1, " + sqlQuote(rules) + ")");
}

std::int64_t SeratoSqlite::addContainer(const std::string& name, int type,
                                        std::optional<std::int64_t> parent) {
    exec("INSERT INTO container (name, type, list_order, parent_id) VALUES (" + sqlQuote(name) +
         ", " + std::to_string(type) + ", 0, " + (parent ? std::to_string(*parent) : "NULL") + ")");
    return sqlite3_last_insert_rowid(db_);
}

void SeratoSqlite::addRules(std::int64_t container, const std::string& rules, int version) {
    exec("INSERT INTO smart_crate_rules (container_id, version, rules) VALUES (" +
         std::to_string(container) + ", " + std::to_string(version) + ", " + sqlQuote(rules) + ")");
}

std::optional<std::string> SeratoSqlite::scalar(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db_) << " in: " << sql;
        return std::nullopt;
    }
    std::optional<std::string> value;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        if (const unsigned char* text = sqlite3_column_text(statement, 0))
            value = reinterpret_cast<const char*>(text);
    }
    sqlite3_finalize(statement);
    return value;
}

std::string sqlQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

}  // namespace morrowdeck::test
