// What a backup keeps beside the audio: Serato's track records and its ratings and rules.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "backup/backup_engine.h"
#include "library/serato_database.h"
#include "library/serato_sql_json.h"
#include "platform/file_system.h"
#include "support/engine_harness.h"
#include "support/fixtures.h"
#include "support/serato_sqlite.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using test::makeCrate;
using test::runBackup;
using test::TempDir;

struct Fixture {
    TempDir dir;
    fs::path music = dir / "Music";
    fs::path backup = dir / "Backup";
    fs::path home = dir / "home";
    test::ScopedHome homeFolder{home};
    std::vector<std::string> tracks;

    explicit Fixture(int count) {
        for (int i = 0; i < count; ++i) {
            const auto file = music / ("Track " + std::to_string(i) + ".mp3");
            test::writeSized(file, 100 + static_cast<std::size_t>(i));
            tracks.push_back(file.native());
        }
    }
    fs::path masterSqlite() const {
        return home / "Library/Application Support/Serato/Library/master.sqlite";
    }
};

// The real "database V2" of a USB library, its four records re-pointed at generated files.
std::vector<SeratoDatabase::Bytes> realRecordsFor(const std::vector<std::string>& tracks) {
    const auto original =
        platform::readFile(test::fixturesRoot() / "usb-drive" / "_Serato_" / "database V2");
    EXPECT_TRUE(original);
    const auto list = SeratoDatabase::records(*original);
    std::vector<SeratoDatabase::Bytes> records;
    for (std::size_t i = 0; i < list.size() && i < tracks.size(); ++i) {
        records.push_back(SeratoDatabase::record(list[i].record, tracks[i].substr(1)));
    }
    return records;
}

TEST(BackupMetadata, LibrarySnapshotHoldsSeratosOwnRecords) {
    Fixture s(5);
    const auto records = realRecordsFor(s.tracks);
    ASSERT_EQ(records.size(), 4u);
    const auto database = s.dir / "_Serato_" / "database V2";
    test::writeFile(database, SeratoDatabase::data(records));

    // Track 0 is in two crates; track 4 has no record.
    const auto run = runBackup({makeCrate({"A"}, {s.tracks[0], s.tracks[1]}),
                                makeCrate({"B", "Deep"}, {s.tracks[0], s.tracks[4]})},
                               s.backup, {}, database);
    const auto expected = SeratoDatabase::snapshot({{"A/Track 0.mp3", records[0]},
                                                    {"A/Track 1.mp3", records[1]},
                                                    {"B/Deep/Track 0.mp3", records[0]}});
    EXPECT_EQ(test::readBytes(s.backup / ".morrowdeck" / "library.dbsnap"), expected);
    EXPECT_TRUE(run.logged("Captured 3 track record(s) for an exact restore."));
    EXPECT_FALSE(fs::exists(s.backup / ".morrowdeck" / "serato.json"));  // none in HOME
}

TEST(BackupMetadata, RatingsAndRulesFromSeratosSqlite) {
    Fixture s(3);
    {
        test::SeratoSqlite db(s.masterSqlite(), test::SeratoSqlite::Schema::serato);
        db.addAsset(s.tracks[0].substr(1), "0.8", "16711680", "124.0", "7");
        db.addAsset(s.tracks[1].substr(1), "NULL", "NULL", "98.0", "NULL");  // nothing to keep
        db.addAsset("Users/someone/else.mp3", "1.0", "1", "NULL", "1");
        db.addSmartCrate(10, "Techno", "rules-text");
    }
    const auto run = runBackup({makeCrate({"A"}, {s.tracks[0], s.tracks[1]}),
                                makeCrate({"B"}, {s.tracks[0], s.tracks[2]})},
                               s.backup);
    const auto bytes = test::readBytes(s.backup / ".morrowdeck" / "serato.json");
    const auto json = nlohmann::json::parse(bytes.begin(), bytes.end());
    EXPECT_EQ(json, nlohmann::json::parse(R"({
        "assets": {"A/Track 0.mp3": {"rating": 0.8, "color": 16711680, "bpm": 124.0, "playCount": 7},
                   "B/Track 0.mp3": {"rating": 0.8, "color": 16711680, "bpm": 124.0, "playCount": 7}},
        "smartCrates": [{"name": "Techno", "rules": "rules-text"}]})"));
    EXPECT_TRUE(run.logged("Captured 2 rating/color record(s) and 1 smart-crate rule(s)."));
}

TEST(BackupMetadata, SmartCrateRulesAloneStillWriteTheFile) {
    Fixture s(1);
    runBackup({makeCrate({"A"}, {s.tracks[0]})}, s.backup, {}, s.dir / "missing" / "database V2");
    EXPECT_FALSE(fs::exists(s.backup / ".morrowdeck"));  // nothing to keep, no folder
    {
        test::SeratoSqlite db(s.masterSqlite(), test::SeratoSqlite::Schema::serato);
        db.addSmartCrate(10, "Techno", "r1");
        db.addSmartCrate(11, "House", "r2");
    }
    const auto run = runBackup({makeCrate({"A"}, {s.tracks[0]})}, s.backup);
    EXPECT_FALSE(fs::exists(s.backup / ".morrowdeck" / "library.dbsnap"));
    const auto bytes = test::readBytes(s.backup / ".morrowdeck" / "serato.json");
    const auto library = SeratoSQL::decodeJson(std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(library);
    EXPECT_TRUE(library->assets.empty());
    EXPECT_EQ(library->smartCrates.size(), 2u);
    EXPECT_TRUE(run.logged("Captured 0 rating/color record(s) and 2 smart-crate rule(s)."));
}

}  // namespace
}  // namespace morrowdeck
