// Reading master.sqlite: volumes, the crate tree with its ordered entries, every asset column,
// and what a missing, locked, damaged, newer or inconsistent database gives instead.
#include "library/master_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/master_database_fixture.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using test::MasterDatabaseFixture;
using test::TempDir;
using Container = MasterDatabase::Container;

std::string warnings(const MasterDatabase& db) {
    std::string all;
    for (const auto& warning : db.warnings) all += warning + "\n";
    return all;
}

std::vector<std::string> names(const std::vector<Container>& containers) {
    std::vector<std::string> out;
    for (const auto& c : containers) out.push_back(c.name);
    return out;
}

std::vector<std::string> paths(const Container& crate) {
    std::vector<std::string> out;
    for (const auto& e : crate.entries) out.push_back(std::to_string(e.volumeId) + ":" + e.portableId);
    return out;
}

std::vector<fs::path> listing(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().filename());
    return out;
}

TEST(MasterDatabase, ReadsVolumesNestedCratesOrderedEntriesAndEveryAssetColumn) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    {
        MasterDatabaseFixture db(file);
        const auto home = db.addVolume("/Users/dj");
        const auto drive = db.addVolume("/Volumes/GIG");
        const auto house = db.addCrate("House");
        const auto deep = db.addCrate("Deep", house);
        db.addSmartCrate("Recent", "<rules/>");
        const auto a = db.addAsset(home, "Music/a.mp3",
                                   {{"bpm", "124.5"}, {"comments", "'Peak'"}, {"rating", "0.8"},
                                    {"emoji", "'🔥'"}, {"is_beatgrid_locked", "1"}});
        const auto b = db.addAsset(drive, "Tracks/b.flac");
        const auto c = db.addAsset(drive, "Tracks/c.wav");
        db.addEntry(house, c, 2);
        db.addEntry(house, a, 5);
        db.addEntry(house, b, 1);
        db.addEntry(deep, a, 1);
    }
    const auto before = test::readBytes(file);
    const auto before_listing = listing(dir.path());

    const auto db = MasterDatabase::read(file);
    EXPECT_TRUE(db.opened);
    EXPECT_EQ(warnings(db), "");
    ASSERT_EQ(db.volumes.size(), 2u);
    EXPECT_EQ(db.volumes[1].path, "/Volumes/GIG");
    EXPECT_EQ(db.volumes[1].uuid, "00000000000000000000000000000002");
    EXPECT_EQ(names(db.containers), (std::vector<std::string>{"House", "Recent"}));
    const auto& house = db.containers[0];
    EXPECT_EQ(paths(house),
              (std::vector<std::string>{"1:Music/a.mp3", "2:Tracks/b.flac", "2:Tracks/c.wav"}));
    EXPECT_EQ(house.countsByVolume(), (std::map<std::int64_t, std::size_t>{{1, 1}, {2, 2}}));
    EXPECT_EQ(names(house.children), (std::vector<std::string>{"Deep"}));
    EXPECT_EQ(db.containers[1].type, Container::smartCrateType);
    EXPECT_EQ(db.containers[1].rules, "<rules/>");
    EXPECT_EQ(db.assetCount, 3);
    ASSERT_EQ(db.assets.size(), 3u);
    const auto& fields = db.assets[0].fields;
    EXPECT_EQ(fields.size(), MasterDatabase::knownAssetColumns().size());
    EXPECT_EQ(fields.at("bpm"), MasterDatabase::Value(124.5));
    EXPECT_EQ(fields.at("comments"), MasterDatabase::Value(std::string("Peak")));
    EXPECT_EQ(fields.at("emoji"), MasterDatabase::Value(std::string("🔥")));
    EXPECT_EQ(fields.at("is_beatgrid_locked"), MasterDatabase::Value(std::int64_t{1}));
    EXPECT_EQ(fields.at("dj_play_count"), MasterDatabase::Value());
    EXPECT_TRUE(db.assets[0].extra.empty());
    EXPECT_EQ(db.assets[2].volumeId, 2);
    EXPECT_EQ(db.assets[2].portableId, "Tracks/c.wav");

    // Reading wrote nothing and left nothing behind, in either journal mode.
    EXPECT_EQ(test::readBytes(file), before);
    EXPECT_EQ(listing(dir.path()), before_listing);
    MasterDatabaseFixture(dir / "wal.sqlite").sql().exec("PRAGMA journal_mode = WAL");
    const auto wal = test::readBytes(dir / "wal.sqlite");
    EXPECT_TRUE(MasterDatabase::read(dir / "wal.sqlite").opened);
    EXPECT_EQ(test::readBytes(dir / "wal.sqlite"), wal);
    EXPECT_EQ(listing(dir.path()).size(), before_listing.size() + 1);
}

// No file, a folder, garbage, a cut-off file, a write lock held past the timeout: a warning
// and an empty result.
TEST(MasterDatabase, UnreadableFilesGiveAWarningAndNothingElse) {
    TempDir dir;
    {
        MasterDatabaseFixture db(dir / "whole.sqlite");
        const auto volume = db.addVolume("/v");
        db.sql().exec("BEGIN");
        for (int i = 0; i < 400; ++i) db.addAsset(volume, "t" + std::to_string(i) + ".mp3",
                                                  {{"comments", "'" + std::string(200, 'x') + "'"}});
        db.sql().exec("COMMIT");
    }
    const auto whole = test::readBytes(dir / "whole.sqlite");
    test::writeFile(dir / "garbage.sqlite", std::string(8192, '\x5A'));
    test::writeFile(
        dir / "truncated.sqlite",
        std::vector(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 3)));
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(test::text(dir / "whole.sqlite").c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::pair<const char*, const char*> cases[] = {
        {"missing.sqlite", "does not exist"},         {".", "is not a regular file"},
        {"garbage.sqlite", "file is not a database"}, {"truncated.sqlite", "malformed"},
        {"whole.sqlite", "database is locked"},
    };
    MasterDatabase::Options options;
    options.busyTimeout = std::chrono::milliseconds(50);
    for (const auto& [name, reason] : cases) {
        const auto db = MasterDatabase::read(dir / name, options);
        EXPECT_NE(warnings(db).find(reason), std::string::npos) << name << ": " << warnings(db);
        EXPECT_TRUE(db.containers.empty() && db.assets.size() < 400) << name;
    }
    sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_EQ(listing(dir.path()).size(), 3u);
}

// Tables and columns a newer Serato adds are kept or ignored; optional columns may be missing.
TEST(MasterDatabase, NewerAndOlderSchemas) {
    TempDir dir;
    {
        MasterDatabaseFixture db(dir / "newer.sqlite");
        db.sql().exec("CREATE TABLE future_table (x); ALTER TABLE asset ADD COLUMN mood TEXT");
        db.addAsset(db.addVolume("/v"), "a.mp3", {{"mood", "'happy'"}});
    }
    const auto newer = MasterDatabase::read(dir / "newer.sqlite");
    EXPECT_EQ(warnings(newer), "");
    ASSERT_EQ(newer.assets.size(), 1u);
    EXPECT_EQ(newer.assets[0].extra, (std::map<std::string, std::optional<std::string>>{
                                         {"mood", "happy"}}));

    {
        test::SeratoSqlite db(dir / "older.sqlite", test::SeratoSqlite::Schema::existing);
        db.exec("CREATE TABLE container (id INTEGER PRIMARY KEY, name TEXT, parent_id INTEGER);"
                "INSERT INTO container VALUES (1, 'Top', NULL), (2, 'Inner', 1);"
                "CREATE TABLE asset (id INTEGER PRIMARY KEY, portable_id TEXT);"
                "INSERT INTO asset VALUES (7, 'x.mp3')");
    }
    const auto older = MasterDatabase::read(dir / "older.sqlite");
    EXPECT_TRUE(older.opened);
    EXPECT_NE(warnings(older).find("no location table"), std::string::npos) << warnings(older);
    ASSERT_EQ(names(older.containers), std::vector<std::string>{"Top"});
    EXPECT_EQ(names(older.containers[0].children), std::vector<std::string>{"Inner"});
    ASSERT_EQ(older.assets.size(), 1u);
    EXPECT_EQ(older.assets[0].portableId, "x.mp3");
    EXPECT_EQ(older.assets[0].fields.size(), 2u);
}

// Cycles, missing parents, too deep a nesting, ties in list_order, entries naming rows that
// are gone and more rows than the bounds: all read, nothing lost silently.
TEST(MasterDatabase, InconsistentRowsAreBoundedAndWarned) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    {
        MasterDatabaseFixture db(file);
        const auto volume = db.addVolume("/v");
        const auto x = db.addCrate("X"), y = db.addCrate("Y", x), self = db.addCrate("Self");
        db.sql().exec("UPDATE container SET parent_id = " + std::to_string(y) + " WHERE id = " +
                      std::to_string(x) + "; UPDATE container SET parent_id = id WHERE id = " +
                      std::to_string(self));
        db.addCrate("Orphan", 999);
        auto parent = db.addCrate("Level0");
        for (int i = 1; i < 6; ++i) parent = db.addCrate("Level" + std::to_string(i), parent);
        const auto ties = db.addCrate("Ties");
        for (const char* name : {"b.mp3", "a.mp3", "c.mp3"})
            db.addEntry(ties, db.addAsset(volume, name), 1);
        const auto gone = db.addAsset(volume, "gone.mp3");
        db.addEntry(ties, gone, 2);
        db.sql().exec("DELETE FROM asset WHERE id = " + std::to_string(gone));
    }
    MasterDatabase::Options options;
    options.maxDepth = 3;
    options.maxAssets = 2;
    const auto db = MasterDatabase::read(file, options);
    const auto all = warnings(db);
    for (const char* expected : {"1 crates whose parent crate is not in it", "a cycle); 2 of them",
                                 "nests 1 crates deeper than 3", "whose track is not in it",
                                 "more tracks than 2"})
        EXPECT_NE(all.find(expected), std::string::npos) << expected << " in " << all;
    std::size_t total = 0;
    const auto count = [&](auto& self, const std::vector<Container>& list) -> void {
        for (const auto& c : list) ++total, self(self, c.children);
    };
    count(count, db.containers);
    EXPECT_EQ(total, 11u);  // every container shown once
    const auto ties = std::find_if(db.containers.begin(), db.containers.end(),
                                   [](const auto& c) { return c.name == "Ties"; });
    ASSERT_NE(ties, db.containers.end());
    EXPECT_EQ(paths(*ties), (std::vector<std::string>{"1:b.mp3", "1:a.mp3", "1:c.mp3"}));
    EXPECT_EQ(db.assetCount, 3);
    EXPECT_EQ(db.assets.size(), 2u);

    options = {};
    options.maxContainers = 4;
    options.readAssets = false;
    const auto bounded = MasterDatabase::read(file, options);
    EXPECT_NE(warnings(bounded).find("more crates than 4"), std::string::npos) << warnings(bounded);
    EXPECT_TRUE(bounded.assets.empty());
    EXPECT_EQ(bounded.assetCount, 3);

    // A filter keeps the rows it accepts; the bound counts only those.
    options = {};
    options.maxAssets = 1;
    options.keepAsset = [](std::int64_t, const std::string& path) { return path != "b.mp3"; };
    const auto filtered = MasterDatabase::read(file, options);
    ASSERT_EQ(filtered.assets.size(), 1u);
    EXPECT_EQ(filtered.assets[0].portableId, "a.mp3");
    EXPECT_NE(warnings(filtered).find("more tracks than 1"), std::string::npos);
}

}  // namespace
}  // namespace morrowdeck
