#include "support/serato_sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {

SeratoSqlite::SeratoSqlite(const std::filesystem::path& file, Schema schema) {
    std::filesystem::create_directories(file.parent_path());
    if (sqlite3_open(text(file).c_str(), &db_) != SQLITE_OK) ADD_FAILURE() << "cannot open " << file;
    // Stand-ins for the SQL functions Serato registers and its triggers call.
    sqlite3_create_function(
        db_, "serato_str_norm", 1, SQLITE_UTF8, nullptr,
        [](sqlite3_context* c, int, sqlite3_value** v) { sqlite3_result_value(c, v[0]); }, nullptr,
        nullptr);
    sqlite3_create_function(
        db_, "serato_raw_key_string_to_key_type", 1, SQLITE_UTF8, nullptr,
        [](sqlite3_context* c, int, sqlite3_value**) { sqlite3_result_int64(c, -1); }, nullptr,
        nullptr);
    const auto script = [this](const std::filesystem::path& sql) {
        const auto bytes = readBytes(sql);
        exec({bytes.begin(), bytes.end()});
    };
    const std::filesystem::path data = MORROWDECK_TEST_DATA;
    if (schema == Schema::minimal) script(data / "sqlite" / "minimal-schema.sql");
    if (schema != Schema::serato) return;
    script(fixturesRoot() / "schema" / "master-sqlite-schema-excerpt.sql");
    script(data / "sqlite" / "serato-trigger.sql");
}

void SeratoSqlite::exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
        ADD_FAILURE() << (message ? message : "sqlite error") << " in: " << sql;
    sqlite3_free(message);
}

std::optional<std::string> SeratoSqlite::scalar(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        ADD_FAILURE() << sqlite3_errmsg(db_) << " in: " << sql;
    std::optional<std::string> value;
    if (statement && sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
        value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    return value;
}

void SeratoSqlite::addAsset(const std::string& portableId, const std::string& rating,
                            const std::string& color, const std::string& bpm,
                            const std::string& playCount) {
    exec("INSERT INTO asset (external_id, location_id, portable_id, rating, color, bpm,"
         " dj_play_count) VALUES (" + std::to_string(nextExternalId_++) + ", 1, " +
         sqlQuote(portableId) + ", " + rating + ", " + color + ", " + bpm + ", " + playCount + ")");
}

std::int64_t SeratoSqlite::addContainer(const std::string& name, int type,
                                        std::optional<std::int64_t> parent) {
    exec("INSERT INTO container (name, type, list_order, parent_id) VALUES (" + sqlQuote(name) +
         ", " + std::to_string(type) + ", 0, " + (parent ? std::to_string(*parent) : "NULL") + ")");
    return sqlite3_last_insert_rowid(db_);
}

void SeratoSqlite::addRules(std::int64_t container, const std::string& rules, int version) {
    exec("INSERT INTO smart_crate_rules VALUES (" + std::to_string(container) + ", " +
         std::to_string(version) + ", " + sqlQuote(rules) + ")");
}

void SeratoSqlite::addSmartCrate(std::int64_t id, const std::string& name,
                                 const std::string& rules) {
    exec("INSERT INTO container (id, name, type, list_order) VALUES (" + std::to_string(id) + ", " +
         sqlQuote(name) + ", 2, " + std::to_string(id) + ")");
    addRules(id, rules);
}

std::string sqlQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace morrowdeck::test
