// morrowdeck-cli restore, apply and tags as a script sees them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "run_cli.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Backup {
    TempDir dir;
    fs::path backup = dir / "Backup";
    Backup() {
        writeFile(backup / "House" / "a.mp3", "one");
        writeFile(backup / "House" / "Deep" / "b.wav", "two");
    }
    std::vector<std::string> restore(std::vector<std::string> extra) const {
        std::vector<std::string> arguments{"restore",
                                           "--from",
                                           backup.native(),
                                           "--audio-to",
                                           (dir / "Audio").native(),
                                           "--serato",
                                           (dir / "Library").native()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
};

TEST(CliRestore, PlainOutputEndsWithTheStatusLine) {
    Backup b;
    const auto rebuilt = runCli(b.restore({}));
    ASSERT_EQ(rebuilt.status, 0) << rebuilt.err;
    EXPECT_TRUE(rebuilt.out.starts_with("info: Scanning backup\u2026\n"));
    EXPECT_TRUE(rebuilt.out.ends_with(
        "\nRestore complete \u2014 just open Serato, your library is ready.\n"))
        << rebuilt.out;
    EXPECT_TRUE(
        fs::is_regular_file(b.dir / "Library" / "_Serato_" / "Subcrates" / "House%%Deep.crate"));

    const auto kept = runCli(b.restore({"--keep-existing", "--no-rebuild"}));
    EXPECT_EQ(kept.status, 0);
    EXPECT_TRUE(kept.out.ends_with(
        "\nRestore complete \u2014 in Serato, 'Read Tags' on the restored crates.\n"));
}

TEST(CliRestore, JsonFailuresAndUsage) {
    Backup b;
    fs::create_directories(b.dir / "Audio" / "House" / "a.mp3" / "blocked");
    const auto result = runCli(b.restore({"--json"}));
    EXPECT_EQ(result.status, 1);  // one file could not be restored
    const auto doc = Json::parse(result.out);
    EXPECT_EQ(doc["snapshot"]["failedFiles"], 1);
    EXPECT_EQ(doc["snapshot"].size(), 16u);
    EXPECT_EQ(doc["log"][0], (Json{{"level", "info"}, {"message", "Scanning backup\u2026"}}));

    writeFile(b.dir / "file", "x");
    const auto blocked =
        runCli({"restore", "--from", b.backup.native(), "--audio-to",
                (b.dir / "file" / "x").native(), "--serato", (b.dir / "Library").native()});
    EXPECT_EQ(blocked.status, 2);
    EXPECT_TRUE(blocked.out.empty());
    EXPECT_NE(blocked.err.find("Not a directory"), std::string::npos);
    EXPECT_EQ(runCli({"restore", "--from", b.backup.native()}).status, 2);
}

TEST(CliApply, MessagesAndExitStatus) {
    TempDir dir;
    const auto plain = runCli({"apply", "--serato", dir.path().native()});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(
        plain.out,
        "No staged data found. Run a Restore first (from a backup that captured ratings/rules).\n");
    const auto json = runCli({"apply", "--serato", dir.path().native(), "--json"});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(Json::parse(json.out), (Json{{"message",
                                            "No staged data found. Run a Restore first (from a "
                                            "backup that captured ratings/rules)."},
                                           {"assetsUpdated", 0},
                                           {"rulesWritten", 0}}));
}

TEST(CliTags, EveryFieldOfEveryFile) {
    TempDir dir;
    writeFile(dir / "x.MP3", "not audio");
    const auto result =
        runCli({"tags", (dir / "x.MP3").native(), (dir / "missing.flac").native(), "--json"});
    ASSERT_EQ(result.status, 0);
    const auto doc = Json::parse(result.out);
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["entry"].size(), 16u);
    EXPECT_EQ(doc[0]["entry"]["ext"], "mp3");
    EXPECT_EQ(doc[0]["entry"]["sizeBytes"], 9);
    EXPECT_EQ(doc[0]["entry"]["sizeStr"], "9bytes");
    EXPECT_TRUE(doc[0]["entry"]["title"].is_null());
    EXPECT_EQ(doc[1]["entry"]["sizeBytes"], 0);
    EXPECT_EQ(runCli({"tags"}).status, 2);
}

}  // namespace
}  // namespace morrowdeck::test
