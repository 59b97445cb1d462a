// morrowdeck-cli as a script sees it: exit statuses, output shapes and usage errors. What the
// engines log and count is asserted in their own suites.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "run_cli.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Args = std::vector<std::string>;

TEST(Cli, UsageErrorsExitTwoWithAReasonAndNoOutput) {
    CliLibrary lib;
    lib.addCrate("Genres%%House.crate", {"a.mp3"});
    const std::string serato = lib.serato, to = lib.dir / "backup", file = lib.dir / "file";
    fs::create_directories(lib.dir / "empty" / "_Serato_");  // a library without crates
    writeFile(file, "x");                                    // nothing can be created below it
    writeFile(lib.dir / "broken.json", "{\"assets\": {}");
    const std::string below = file + "/x", empty = lib.dir / "empty";
    const std::pair<Args, std::string> cases[] = {
        {{}, ""},
        {{"no-such-command"}, ""},
        {{"crates", "--library", file}, "No _Serato_ folder found at that location.\n"},
        {{"backup", "--library", serato, "--to", to, "--crate", "Genres/Trance"},
         "No crate named Genres/Trance.\n"},
        {{"backup", "--library", empty, "--to", to, "--json"}, "No crates are selected"},
        {{"backup", "--library", serato, "--to", below}, below},
        {{"backup", "--library", serato, "--to", to, "--threads", "0"}, ""},
        {{"backup", "--library", serato}, ""},
        {{"restore", "--from", serato}, ""},
        {{"restore", "--from", serato, "--audio-to", below, "--serato", empty}, "Not a directory"},
        {{"inspect", file}, ""},
        {{"inspect", lib.dir / "broken.json"}, ""},
        {{"inspect", lib.dir.path()}, ""},
        {{"tags"}, ""},
    };
    for (const auto& [arguments, message] : cases) {
        const auto result = runCli(arguments);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(arguments);
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "") << testing::PrintToString(arguments);
    }
    EXPECT_FALSE(fs::exists(to));  // not even the backup folder
    EXPECT_EQ(runCli({"crates", "--help"}).status, 0);
}

TEST(Cli, CratesAsTreeFromTheDefaultLibraryAndAsJson) {
    CliLibrary lib("Music/_Serato_");
    lib.addCrate("Genres%%House.crate", {"a.mp3"});
    lib.addCrate("Rules.scrate", {});
    const ScopedHome guard(lib.dir.path());
    const auto tree = runCli({"crates"});
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out, "Library: " + lib.serato.native() +
                            "\nGenres  (1 track)\n  House  (1 track)\nSmart Crates  (0 tracks)\n"
                            "  Rules  (0 tracks)  [smart]\n");

    // A path that is not valid UTF-8 must not break the document.
    writeFile(lib.serato / "Subcrates" / "Odd.crate", CrateWriter::crateData({"Music/\xFF.mp3"}));
    const auto result = runCli({"crates", "--library", lib.dir / "Music", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto doc = Json::parse(result.out);
    EXPECT_EQ(doc["library"], lib.serato.native());
    EXPECT_EQ(doc["volumePrefix"], SeratoLibrary::volumeMountPrefix(lib.serato));
    ASSERT_EQ(doc["crates"].size(), 3u);
    EXPECT_TRUE(doc["crates"][0]["crateFile"].is_null());
    EXPECT_EQ(doc["crates"][0]["children"][0],
              (Json{{"name", "House"}, {"components", {"Genres", "House"}},
                    {"crateFile", (lib.serato / "Subcrates" / "Genres%%House.crate").native()},
                    {"isSmart", false}, {"tracks", {lib.music("a.mp3").native()}},
                    {"children", Json::array()}}));
    EXPECT_EQ(doc["crates"][2]["children"][0]["isSmart"], true);
}

TEST(Cli, ApplyWithoutStagedDataExitsOne) {
    TempDir dir;
    const auto result = runCli({"apply", "--serato", dir.path(), "--json"});
    EXPECT_EQ(result.status, 1);
    const auto doc = Json::parse(result.out);
    EXPECT_TRUE(doc.size() == 3 && doc["message"].is_string() && doc["assetsUpdated"] == 0 &&
                doc["rulesWritten"] == 0) << doc;
}

TEST(Cli, TagsJsonHasEveryFieldOfEveryFile) {
    TempDir dir;
    writeFile(dir / "x.MP3", "not audio");
    const auto result = runCli({"tags", dir / "x.MP3", dir / "missing.flac", "--json"});
    ASSERT_EQ(result.status, 0);
    const auto doc = Json::parse(result.out);
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["entry"].size(), 16u);
    EXPECT_EQ(doc[0]["entry"]["sizeStr"], "9bytes");
    EXPECT_TRUE(doc[0]["entry"]["title"].is_null());
    EXPECT_EQ(doc[1]["entry"]["sizeBytes"], 0);
}

}  // namespace
}  // namespace morrowdeck::test
