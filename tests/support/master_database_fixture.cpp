#include "support/master_database_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace morrowdeck::test {

namespace {
std::string literal(std::optional<std::int64_t> value) {
    return value ? std::to_string(*value) : "NULL";
}
}  // namespace

std::int64_t MasterDatabaseFixture::lastId() {
    return std::stoll(db_.scalar("SELECT last_insert_rowid()").value_or("0"));
}

std::int64_t MasterDatabaseFixture::addVolume(const std::string& path) {
    const auto id = std::stoll(db_.scalar("SELECT COALESCE(MAX(id), 0) + 1 FROM location").value());
    char last[3];
    std::snprintf(last, sizeof last, "%02x", static_cast<unsigned>(id & 0xFF));
    db_.exec("INSERT INTO location (id, path, uuid) VALUES (" + std::to_string(id) + ", " +
             sqlQuote(path) + ", X'000000000000000000000000000000" + last + "')");
    return id;
}

std::int64_t MasterDatabaseFixture::addCrate(const std::string& name,
                                             std::optional<std::int64_t> parent,
                                             std::optional<std::int64_t> listOrder) {
    db_.exec("INSERT INTO container (name, type, list_order, parent_id) VALUES (" +
             sqlQuote(name) + ", 1, " + std::to_string(listOrder.value_or(nextOrder_++)) + ", " +
             literal(parent) + ")");
    return lastId();
}

std::int64_t MasterDatabaseFixture::addSmartCrate(const std::string& name,
                                                  const std::string& rules,
                                                  std::optional<std::int64_t> parent) {
    db_.exec("INSERT INTO container (name, type, list_order, parent_id) VALUES (" +
             sqlQuote(name) + ", 2, " + std::to_string(nextOrder_++) + ", " + literal(parent) +
             ")");
    const auto id = lastId();
    db_.addRules(id, rules);
    return id;
}

std::int64_t MasterDatabaseFixture::addAsset(std::int64_t volume, const std::string& portablePath,
                                             const std::map<std::string, std::string>& fields) {
    std::string names = "external_id, location_id, portable_id";
    std::string values = std::to_string(nextExternalId_++) + ", " + std::to_string(volume) + ", " +
                         sqlQuote(portablePath);
    for (const auto& [name, value] : fields) {
        names += ", \"" + name + "\"";
        values += ", " + value;
    }
    db_.exec("INSERT INTO asset (" + names + ") VALUES (" + values + ")");
    return lastId();
}

void MasterDatabaseFixture::addEntry(std::int64_t crate, std::int64_t asset, std::int64_t order) {
    if (!haveSpace_) db_.exec("INSERT INTO space (id, name) VALUES (1, 'Library')");
    haveSpace_ = true;
    const std::string a = std::to_string(asset), c = std::to_string(crate);
    db_.exec("INSERT OR IGNORE INTO location_container (container_id, location_id) SELECT " + c +
             ", location_id FROM asset WHERE id = " + a);
    db_.exec("INSERT OR IGNORE INTO space_asset (asset_id, space_id) VALUES (" + a + ", 1)");
    db_.exec("INSERT INTO container_asset (asset_id, location_container_id, space_asset_id,"
             " list_order) SELECT " + a + ", lc.id, sa.id, " + std::to_string(order) +
             " FROM location_container lc, space_asset sa, asset WHERE asset.id = " + a +
             " AND lc.container_id = " + c + " AND lc.location_id = asset.location_id"
             " AND sa.asset_id = " + a);
}

}  // namespace morrowdeck::test
