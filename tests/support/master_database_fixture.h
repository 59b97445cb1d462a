#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/serato_sqlite.h"

namespace morrowdeck::test {

// Builds a master.sqlite with Serato's own table definitions: volumes, nested crates, smart
// crates, tracks on a volume and the ordered entries of each crate. Each call adds rows at
// once; ids are the ones the database gave. A failing statement fails the test.
class MasterDatabaseFixture {
  public:
    // No volume yet: the root volume the schema script adds is taken out again.
    explicit MasterDatabaseFixture(const std::filesystem::path& file)
        : db_(file, SeratoSqlite::Schema::serato) {
        db_.exec("DELETE FROM location");
    }

    // A volume mounted at `path` with a uuid (16 bytes) derived from its id.
    std::int64_t addVolume(const std::string& path);
    // A crate below `parent` (top level when absent); list_order counts up unless given.
    std::int64_t addCrate(const std::string& name, std::optional<std::int64_t> parent = {},
                          std::optional<std::int64_t> listOrder = {});
    // A smart crate with its rules.
    std::int64_t addSmartCrate(const std::string& name, const std::string& rules,
                               std::optional<std::int64_t> parent = {});
    // A track on `volume` at `portablePath`; `fields` are further columns as SQL literals
    // ({"bpm", "128"}, {"comments", "'Peak'"}).
    std::int64_t addAsset(std::int64_t volume, const std::string& portablePath,
                          const std::map<std::string, std::string>& fields = {});
    // The asset at `order` in the crate's list for the asset's volume.
    void addEntry(std::int64_t crate, std::int64_t asset, std::int64_t order);

    // The connection, for rows or damage a test adds by hand.
    SeratoSqlite& sql() { return db_; }

  private:
    std::int64_t lastId();

    SeratoSqlite db_;
    std::int64_t nextOrder_ = 1;
    std::int64_t nextExternalId_ = 1;
    bool haveSpace_ = false;
};

}  // namespace morrowdeck::test
