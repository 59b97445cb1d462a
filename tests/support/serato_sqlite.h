#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace morrowdeck::test {

// A test's own connection to a Serato-style master.sqlite: creates it with Serato's real
// table definitions (or only the columns this program uses) and fills it. Serato's triggers
// call SQL functions only Serato registers; this connection registers stand-ins for them.
class SeratoSqlite {
  public:
    enum class Schema { serato, minimal, existing };

    SeratoSqlite(const std::filesystem::path& file, Schema schema);
    ~SeratoSqlite() { sqlite3_close(db_); }
    SeratoSqlite(const SeratoSqlite&) = delete;
    SeratoSqlite& operator=(const SeratoSqlite&) = delete;

    // Runs SQL; a failure fails the test.
    void exec(const std::string& sql);
    // One asset row; the values are SQL literals ("0.8", "NULL").
    void addAsset(const std::string& portableId, const std::string& rating,
                  const std::string& color, const std::string& bpm, const std::string& playCount);
    // A container row of the given type (2: smart crate) below parent; returns its id.
    std::int64_t addContainer(const std::string& name, int type = 2,
                              std::optional<std::int64_t> parent = std::nullopt);
    // A container's smart-crate rules, in the given rules version.
    void addRules(std::int64_t container, const std::string& rules, int version = 1);
    // A smart-crate container with the given id and its rules.
    void addSmartCrate(std::int64_t id, const std::string& name, const std::string& rules);
    // The first column of the first row as text; absent for no row or NULL.
    std::optional<std::string> scalar(const std::string& sql);

  private:
    sqlite3* db_ = nullptr;
    std::int64_t nextExternalId_ = 1;
};

// SQL text literal with quotes doubled.
std::string sqlQuote(const std::string& text);

}  // namespace morrowdeck::test
