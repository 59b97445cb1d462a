// morrowdeck-cli inspect on every kind of file it knows, real Serato files first.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "run_cli.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {
namespace {

using Json = nlohmann::json;

Json inspectJson(const std::filesystem::path& file) {
    const auto result = runCli({"inspect", file.native(), "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    return Json::parse(result.out);
}

struct FixtureCase {
    const char* file;
    const char* kind;
    std::size_t count;  // tracks, records or lines
};

class InspectFixtureTest : public testing::TestWithParam<FixtureCase> {};

TEST_P(InspectFixtureTest, RecognisesRealFiles) {
    TempDir dir;
    const auto copy = copyFixture(GetParam().file, dir.path());
    const Json doc = inspectJson(copy);
    ASSERT_EQ(doc["kind"], GetParam().kind);
    const std::string kind = GetParam().kind;
    const char* list = kind == "crate" ? "tracks" : kind == "database" ? "records" : "lines";
    EXPECT_EQ(doc[list].size(), GetParam().count);

    const auto plain = runCli({"inspect", copy.native()});
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find(std::to_string(GetParam().count)), std::string::npos) << plain.out;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, InspectFixtureTest,
    testing::Values(FixtureCase{"macos-library/_Serato_/Subcrates/JAM.crate", "crate", 31},
                    FixtureCase{"macos-library/_Serato_/SmartCrates/new.scrate", "crate", 26},
                    FixtureCase{"usb-drive/_Serato_/database V2", "database", 4},
                    FixtureCase{"database-only/database V2", "database", 3224},
                    FixtureCase{"macos-library/_Serato_/neworder.pref", "crateOrder", 22}),
    [](const auto& param) { return testName(param.param.file); });

TEST(Inspect, CrateDetails) {
    TempDir dir;
    const Json doc = inspectJson(copyFixture("single-crate/Serato Demo Tracks.crate", dir.path()));
    EXPECT_EQ(doc["version"], "1.0/Serato ScratchLive Crate");
    EXPECT_EQ(doc["chunks"][0], "vrsn");
    EXPECT_EQ(doc["chunks"][1], "osrt");
    EXPECT_EQ(doc["chunks"].size(), 17u);
    // Stored paths as written, without a leading slash or volume.
    EXPECT_EQ(doc["tracks"][0].get<std::string>().rfind("Users/bcollazo/Music/", 0), 0u);
}

TEST(Inspect, DatabaseFieldForms) {
    TempDir dir;
    using Bytes = SeratoDatabase::Bytes;
    const std::vector<std::pair<const char*, Bytes>> fields{
        {"pfil", text::encodeUtf16BE("Music/a.mp3")},
        {"uadd", {0x62, 0x7E, 0xF4, 0xC4}},
        {"bmis", {1}},
        {"tbad", {0}},
        {"uxxx", {1, 2}},
        {"sbav", {0xAB, 0xCD}}};
    Bytes record;
    for (const auto& [tag, payload] : fields)
        SeratoDatabase::appendChunk(record, tag, payload);
    writeFile(dir / "database V2", SeratoDatabase::data({record}));
    const Json doc = inspectJson(dir / "database V2");
    EXPECT_EQ(doc["version"], "2.0/Serato Scratch LIVE Database");
    EXPECT_EQ(doc["records"][0]["path"], "Music/a.mp3");
    EXPECT_EQ(doc["records"][0]["fields"],
              Json::parse(R"([{"tag":"pfil","text":"Music/a.mp3"},{"tag":"uadd","u32":1652487364},
                              {"tag":"bmis","byte":1},{"tag":"tbad","hex":"00"},{"tag":"uxxx","hex":"0102"},
                              {"tag":"sbav","hex":"abcd"}])"));
}

TEST(Inspect, SnapshotAndMetadata) {
    TempDir dir;
    const auto pfil = SeratoDatabase::chunk("pfil", text::encodeUtf16BE("Music/a.mp3"));
    writeFile(dir / ".morrowdeck" / "library.dbsnap",
              SeratoDatabase::snapshot({{"House/a.mp3", pfil}, {"House/b.mp3", {}}}));
    const Json snapshot = inspectJson(dir / ".morrowdeck" / "library.dbsnap");
    EXPECT_EQ(
        snapshot,
        Json::parse(R"({"kind":"snapshot","entries":[{"relPath":"House/a.mp3","path":"Music/a.mp3"},
                                                                       {"relPath":"House/b.mp3","path":null}]})"));
    writeFile(dir / "empty.dbsnap", "");
    EXPECT_EQ(inspectJson(dir / "empty.dbsnap")["entries"], Json::array());

    writeFile(
        dir / "serato.json",
        R"({"assets":{"House/a.mp3":{"rating":0.8,"playCount":3}},"smartCrates":[{"name":"New","rules":"x"}]})");
    const Json metadata = inspectJson(dir / "serato.json");
    EXPECT_EQ(metadata["kind"], "metadata");
    EXPECT_EQ(metadata["library"]["assets"]["House/a.mp3"]["playCount"], 3);
    EXPECT_EQ(metadata["library"]["smartCrates"][0]["name"], "New");
}

TEST(Inspect, SqliteDatabase) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(
            db,
            "CREATE TABLE asset (portable_id TEXT, rating REAL, color INTEGER, bpm REAL, "
            "dj_play_count INTEGER);"
            "INSERT INTO asset VALUES ('id-1', 0.6, 255, 120.0, 9);"
            "CREATE TABLE container (id INTEGER PRIMARY KEY, name TEXT, type INTEGER);"
            "CREATE TABLE smart_crate_rules (container_id INTEGER, version INTEGER, rules TEXT);",
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    const Json doc = inspectJson(file);
    EXPECT_EQ(doc["kind"], "sqlite");
    EXPECT_EQ(doc["library"]["assets"]["id-1"]["color"], 255);
    EXPECT_EQ(doc["library"]["smartCrates"], Json::array());
}

TEST(Inspect, UnknownOrUnreadableIsAUsageError) {
    TempDir dir;
    writeFile(dir / "notes.txt", "hello");
    writeFile(dir / "broken.json", "{\"assets\": {}");
    writeFile(dir / "empty", "");
    std::filesystem::create_directory(dir / "folder.crate");
    for (const auto& file : {dir / "notes.txt", dir / "broken.json", dir / "empty",
                             dir / "folder.crate", dir / "missing.crate"}) {
        const auto result = runCli({"inspect", file.native()});
        EXPECT_EQ(result.status, 2) << file;
        EXPECT_TRUE(result.out.empty());
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(runCli({"inspect"}).status, 2);
}

}  // namespace
}  // namespace morrowdeck::test
