// morrowdeck-cli as a script sees it: exit statuses, output shapes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "run_cli.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {
namespace {

TEST(CliCrates, NoLibraryIsAUsageError) {
    TempDir dir;
    const auto result = runCli({"crates", "--library", dir.path().native()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "No _Serato_ folder found at that location.\n");
    EXPECT_TRUE(result.out.empty());
}

TEST(CliCrates, DefaultLibraryComesFromHome) {
    TempDir home;
    const auto library = home / "Music" / "_Serato_";
    writeFile(library / "Subcrates" / "House.crate", CrateWriter::crateData({"a.mp3"}));
    const ScopedHome guard(home.path());
    const auto result = runCli({"crates"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("House  (1 track)"), std::string::npos) << result.out;
}

TEST(CliCrates, UsageErrorsAndHelp) {
    EXPECT_EQ(runCli({}).status, 2);
    EXPECT_EQ(runCli({"no-such-command"}).status, 2);
    EXPECT_EQ(runCli({"crates", "--bogus"}).status, 2);
    const auto help = runCli({"crates", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
}

TEST(CliCrates, PlainTreeOfARealLibrary) {
    TempDir dir;
    copyFixture("macos-library/_Serato_", dir.path());
    const auto result = runCli({"crates", "--library", dir.path().native()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\nbreaks  (109 tracks)\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\nSmart Crates  (5007 tracks)\n"), std::string::npos);
    EXPECT_NE(result.out.find("\n  hip-Hop  (3004 tracks)  [smart]\n"), std::string::npos);
}

TEST(CliCrates, JsonShape) {
    TempDir dir;
    const auto library = dir / "_Serato_";
    writeFile(library / "Subcrates" / "Genres%%House.crate",
              CrateWriter::crateData({"Music/a.mp3"}));
    writeFile(library / "SmartCrates" / "Rules.scrate", CrateWriter::crateData({}));
    // A path that is not valid UTF-8 must not break the document.
    writeFile(library / "Subcrates" / "Odd.crate", CrateWriter::crateData({"Music/\xFF.mp3"}));

    const auto result = runCli({"crates", "--library", library.native(), "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto doc = nlohmann::json::parse(result.out);
    const std::string prefix = SeratoLibrary::volumeMountPrefix(library);
    EXPECT_EQ(doc["library"], library.native());
    EXPECT_EQ(doc["volumePrefix"], prefix);
    ASSERT_EQ(doc["crates"].size(), 3u);

    const auto& genres = doc["crates"][0];
    EXPECT_EQ(genres["name"], "Genres");
    EXPECT_TRUE(genres["crateFile"].is_null());
    EXPECT_EQ(genres["tracks"], nlohmann::json::array());
    const auto& house = genres["children"][0];
    const std::set<std::string> keys{"name",    "components", "crateFile",
                                     "isSmart", "tracks",     "children"};
    std::set<std::string> actual;
    for (const auto& [key, value] : house.items())
        actual.insert(key);
    EXPECT_EQ(actual, keys);
    EXPECT_EQ(house["components"], (nlohmann::json{"Genres", "House"}));
    EXPECT_EQ(house["crateFile"], (library / "Subcrates" / "Genres%%House.crate").native());
    EXPECT_EQ(house["isSmart"], false);
    EXPECT_EQ(house["tracks"], nlohmann::json{prefix + "/Music/a.mp3"});

    EXPECT_EQ(doc["crates"][1]["name"], "Odd");
    const auto& smart = doc["crates"][2];
    EXPECT_EQ(smart["name"], "Smart Crates");
    EXPECT_EQ(smart["children"][0]["isSmart"], true);
}

}  // namespace
}  // namespace morrowdeck::test
