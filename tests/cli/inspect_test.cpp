// morrowdeck-cli inspect: which kind each file is taken for and the document it prints.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "run_cli.h"
#include "support/fixtures.h"
#include "support/serato_sqlite.h"

namespace morrowdeck::test {
namespace {

using Json = nlohmann::json;

Json inspectJson(const std::filesystem::path& file) {
    const auto result = runCli({"inspect", file.native(), "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    return Json::parse(result.out);
}

// Real Serato files are told by their content; how many tracks, records or lines each holds
// is the parsers' to test. Stored paths are shown as written, without a leading slash or
// volume; without --json a summary is printed.
TEST(Inspect, RealSeratoFiles) {
    TempDir dir;
    const auto order = copyFixture("macos-library/_Serato_/neworder.pref", dir.path());
    EXPECT_EQ(inspectJson(order)["kind"], "crateOrder");
    const auto crate = copyFixture("single-crate/Serato Demo Tracks.crate", dir.path());
    const Json doc = inspectJson(crate);
    EXPECT_EQ(doc["kind"], "crate");
    EXPECT_EQ(doc["version"], "1.0/Serato ScratchLive Crate");
    EXPECT_TRUE(doc["tracks"][0].get<std::string>().starts_with("Users/bcollazo/Music/"));
    EXPECT_TRUE(runCli({"inspect", crate}).out.starts_with("Crate file ("));
}

TEST(Inspect, DatabaseFieldFormsSnapshotsAndMetadata) {
    TempDir dir;
    using Bytes = SeratoDatabase::Bytes;
    const auto pfil = SeratoDatabase::chunk("pfil", text::encodeUtf16BE("Music/a.mp3"));
    Bytes record = pfil;
    for (const auto& [tag, payload] : std::vector<std::pair<const char*, Bytes>>{
             {"uadd", {0x62, 0x7E, 0xF4, 0xC4}}, {"bmis", {1}}, {"tbad", {0}}, {"sbav", {0xAB}}})
        SeratoDatabase::appendChunk(record, tag, payload);
    writeFile(dir / "database V2", SeratoDatabase::data({record}));
    writeFile(dir / ".morrowdeck" / "library.dbsnap",
              SeratoDatabase::snapshot({{"House/a.mp3", pfil}, {"House/b.mp3", {}}}));
    writeFile(dir / "empty.dbsnap", "");
    writeFile(dir / "serato.json",
              R"({"assets":{"a":{"rating":0.8,"playCount":3}},"smartCrates":[{"name":"N","rules":"x"}]})");
    SeratoSqlite(dir / "master.sqlite", SeratoSqlite::Schema::minimal)
        .addAsset("id-1", "0.6", "255", "120.0", "9");
    const std::pair<const char*, const char*> cases[] = {
        {"database V2",
         R"({"kind":"database","version":"2.0/Serato Scratch LIVE Database","records":[{"path":
            "Music/a.mp3","fields":[{"tag":"pfil","text":"Music/a.mp3"},{"tag":"uadd","u32":
            1652487364},{"tag":"bmis","byte":1},{"tag":"tbad","hex":"00"},{"tag":"sbav","hex":"ab"}]}]})"},
        {".morrowdeck/library.dbsnap",
         R"({"kind":"snapshot","entries":[{"relPath":"House/a.mp3","path":"Music/a.mp3"},
                                          {"relPath":"House/b.mp3","path":null}]})"},
        {"empty.dbsnap", R"({"kind":"snapshot","entries":[]})"},
        {"serato.json", R"({"kind":"metadata","library":{"assets":{"a":{"rating":0.8,"playCount":3}},
                            "smartCrates":[{"name":"N","rules":"x"}]}})"},
        {"master.sqlite", R"({"kind":"sqlite","library":{"assets":{"id-1":{"rating":0.6,"color":255,
                              "bpm":120.0,"playCount":9}},"smartCrates":[]}})"},
    };
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(inspectJson(dir / file), Json::parse(expected)) << file;
}

}  // namespace
}  // namespace morrowdeck::test
