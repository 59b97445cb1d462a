// morrowdeck-cli backup as a script sees it: what lands in the backup folder, exit
// statuses, the JSON document, Ctrl-C, and the demo library end to end.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "engine/backup_layout.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_library.h"
#include "run_cli.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A library in a temporary folder: real files in Music/, crates and a "database V2" that
// reference them in _Serato_/.
struct Library {
    TempDir dir;
    fs::path serato = dir / "_Serato_";
    fs::path backup = dir / "backup";
    std::vector<SeratoDatabase::Bytes> records;

    fs::path music(const std::string& name) const { return dir / "Music" / name; }
    std::string stored(const std::string& name) const {
        return CrateWriter::volumeRelativePath(music(name),
                                               SeratoLibrary::volumeMountPrefix(dir.path()));
    }

    void addTrack(const std::string& name, std::size_t bytes) {
        writeFile(music(name), std::string(bytes, 'x'));
        SeratoDatabase::Entry entry;
        entry.path = stored(name);
        records.push_back(SeratoDatabase::record(entry));
        writeFile(serato / "database V2", SeratoDatabase::data(records));
    }

    void addCrate(const std::string& fileName, const std::vector<std::string>& tracks) {
        std::vector<std::string> paths;
        for (const auto& track : tracks)
            paths.push_back(stored(track));
        const char* folder = fileName.ends_with(".scrate") ? "SmartCrates" : "Subcrates";
        writeFile(serato / folder / fileName, CrateWriter::crateData(paths));
    }

    CliResult backUp(std::vector<std::string> extra = {}) const {
        std::vector<std::string> arguments{"backup", "--library", serato, "--to", backup};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return runCli(arguments);
    }

    // Backup-relative paths of the copied tracks and smart-crate files.
    std::set<std::string> backedUp() const {
        std::set<std::string> files;
        if (!fs::exists(backup)) return files;
        for (const auto& entry : fs::recursive_directory_iterator(backup)) {
            const std::string rel = entry.path().lexically_relative(backup);
            if (entry.is_regular_file() && !rel.starts_with(".") &&
                entry.path().filename() != BackupLayout::notesFileName)
                files.insert(rel);
        }
        return files;
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// Genres/House {a, b} with child Deep {b}; Techno {c}; smart crate Hits {a}.
class BackupCli : public testing::Test {
  protected:
    void SetUp() override {
        lib.addTrack("a.mp3", 100);
        lib.addTrack("b.mp3", 200);
        lib.addTrack("c.mp3", 300);
        lib.addCrate("Genres%%House.crate", {"a.mp3", "b.mp3"});
        lib.addCrate("Genres%%House%%Deep.crate", {"b.mp3"});
        lib.addCrate("Techno.crate", {"c.mp3"});
        lib.addCrate("Hits.scrate", {"a.mp3"});
    }

    Library lib;
};

TEST_F(BackupCli, CopiesEveryCrateAndLogsLevelPrefixedLines) {
    const auto result = lib.backUp();
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(lib.backedUp(), (std::set<std::string>{"Genres/House/a.mp3", "Genres/House/b.mp3",
                                                     "Genres/House/Deep/b.mp3", "Techno/c.mp3",
                                                     "Smart Crates/Hits.scrate"}));
    // The library's database reached the engine: one record kept per crate entry.
    EXPECT_EQ(SeratoDatabase::parseSnapshot(readBytes(lib.backup / BackupLayout::metadataFolder /
                                                      BackupLayout::snapshotFileName))
                  .size(),
              4u);

    const auto output = lines(result.out);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.front(), "info: Scanning crates\u2026");
    for (const auto& line : output)
        EXPECT_TRUE(line.starts_with("info: ") || line.starts_with("success: ") ||
                    line.starts_with("warning: ") || line.starts_with("error: "))
            << line;
    EXPECT_EQ(output.back(),
              "success: Backup complete \u2014 5 copied, 0 linked, 0 up-to-date, 0 failed, 0 "
              "missing.");
    EXPECT_EQ(result.err, "");  // not a terminal: no progress line
}

TEST_F(BackupCli, CrateOptionsSelectSubtreesOnceEach) {
    const auto result = lib.backUp({"--crate", "Smart Crates/Hits", "--crate", "Genres/House/Deep",
                                    "--crate", "Genres/House"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Planning backup of 3 crate(s)"), std::string::npos) << result.out;
    EXPECT_EQ(lib.backedUp(),
              (std::set<std::string>{"Genres/House/a.mp3", "Genres/House/b.mp3",
                                     "Genres/House/Deep/b.mp3", "Smart Crates/Hits.scrate"}));
}

TEST_F(BackupCli, MissingTrackFinishesWithStatusOne) {
    fs::remove(lib.music("c.mp3"));
    const auto result = lib.backUp();
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.out.find("warning: Missing source: " + lib.music("c.mp3").native() + "\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(fs::exists(lib.backup / "Genres" / "House" / "a.mp3"));
}

TEST_F(BackupCli, StartFailuresAreUsageErrorsThatWriteNothing) {
    TempDir other;
    fs::create_directories(other / "empty" / "_Serato_");  // a library without crates
    writeFile(other / "file", "x");                        // no folder can be created below a file
    const std::string to = lib.backup, below = other / "file" / "backup";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--library", lib.serato, "--to", to, "--crate", "Genres/House", "--crate",
          "Genres/Trance"},
         "No crate named Genres/Trance.\n"},
        {{"--library", other.path(), "--to", to}, "No _Serato_ folder found at that location.\n"},
        {{"--library", other / "empty", "--to", to, "--json"},
         "No crates are selected to back up.\n"},
        {{"--library", lib.serato, "--to", below}, below},
        {{"--library", lib.serato, "--to", to, "--threads", "0"}, ""},
        {{"--library", lib.serato, "--to", to, "--threads", "many"}, ""},
        {{"--library", lib.serato, "--to", to, "--bogus"}, ""},
        {{"--library", lib.serato}, ""},
        {{"--to", ""}, ""},
    };
    for (auto [arguments, message] : cases) {
        arguments.insert(arguments.begin(), "backup");
        const auto result = runCli(arguments);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(arguments);
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "") << testing::PrintToString(arguments);
    }
    EXPECT_FALSE(fs::exists(lib.backup));  // not even the folder
}

TEST_F(BackupCli, JsonIsOneDocumentWithTheLastSnapshotAndTheLog) {
    const auto result = lib.backUp({"--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto doc = nlohmann::ordered_json::parse(result.out);  // one document, nothing else
    ASSERT_EQ(doc.size(), 2u);

    std::vector<std::string> keys;
    for (const auto& [key, value] : doc["snapshot"].items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "phase", "totalFiles", "completedFiles", "copiedFiles", "skippedFiles",
                        "linkedFiles", "missingFiles", "failedFiles", "totalBytes",
                        "processedBytes", "skippedBytes", "bytesToCopy", "bytesPerSecond",
                        "currentFile", "finished", "cancelled"}));
    EXPECT_EQ(doc["snapshot"]["completedFiles"], 5);
    EXPECT_EQ(doc["snapshot"]["finished"], true);

    for (const auto& entry : doc["log"])
        EXPECT_TRUE(entry.size() == 2 && entry["level"].is_string() && entry["message"].is_string())
            << entry;
    EXPECT_EQ(doc["log"].front(), (Json{{"level", "info"}, {"message", "Scanning crates\u2026"}}));
    EXPECT_EQ(doc["log"].back()["level"], "success");
}

// Each option's effect is the engine's to test; here only that it gets there.
TEST_F(BackupCli, OptionsReachTheEngine) {
    ASSERT_EQ(lib.backUp({"--dedup", "--smart-as-folders"}).status, 0);
    EXPECT_TRUE(fs::is_directory(lib.backup / ".ORVEL_Store"));
    EXPECT_TRUE(fs::exists(lib.backup / "Smart Crates/Hits/a.mp3"));

    fs::remove_all(lib.backup);
    ASSERT_EQ(lib.backUp({"--threads", "1"}).status, 0);
    writeFile(lib.music("c.mp3"), std::string(301, 'y'));  // the source changes size
    ASSERT_EQ(lib.backUp({"--no-verify"}).status, 0);
    EXPECT_EQ(fs::file_size(lib.backup / "Techno/c.mp3"), 300u);  // not re-copied
}

// Ctrl-C cancels and waits for the run's end. Thousands of files copied one at a time keep
// the run going long enough on any machine tried; a run that finished before the signal
// arrived is accepted with its normal status rather than failing on a fast machine.
TEST(BackupCliInterrupt, CtrlCCancelsAndExits130) {
    Library lib;
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        names.push_back("t" + std::to_string(i) + ".mp3");
        writeFile(lib.music(names.back()), std::string(4096, 'x'));
    }
    lib.addCrate("Big.crate", names);

    CliProcess process({"backup", "--library", lib.serato.native(), "--to", lib.backup.native(),
                        "--threads", "1"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (process.outputSoFar().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(process.pid(), SIGINT);
    const auto result = process.wait();
    const auto output = lines(result.out);
    ASSERT_FALSE(output.empty()) << result.err;
    if (result.status == 0) {
        GTEST_LOG_(INFO) << "the backup finished before the signal arrived";
        EXPECT_TRUE(output.back().starts_with("success: Backup complete"));
        return;
    }
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_EQ(output.back(), "warning: Backup cancelled.");
    EXPECT_LT(lib.backedUp().size(), names.size());
}

TEST(DemoLibrary, LoadsWithSharedTracksAndBacksUp) {
    TempDir dir;
    const auto made = runProgram(MORROWDECK_DEMO_LIBRARY, {dir.path().native(), "--tracks", "12"});
    ASSERT_EQ(made.status, 0) << made.err;
    const auto crates = runCli({"crates", "--library", dir.path().native(), "--json"});
    ASSERT_EQ(crates.status, 0) << crates.err;

    std::size_t crateFiles = 0, smart = 0, references = 0;  // track entries of plain crates
    std::set<std::string> tracks;
    const auto walk = [&](const auto& self, const Json& list) -> void {
        for (const auto& crate : list) {
            crateFiles += crate["crateFile"].is_null() ? 0 : 1;
            smart += crate["isSmart"] == true ? 1 : 0;
            if (crate["isSmart"] != true) references += crate["tracks"].size();
            for (const auto& track : crate["tracks"])
                tracks.insert(track.get<std::string>());
            self(self, crate["children"]);
        }
    };
    walk(walk, Json::parse(crates.out)["crates"]);
    EXPECT_EQ(crateFiles, 10u);
    EXPECT_EQ(smart, 1u);
    EXPECT_EQ(tracks.size(), 12u);
    EXPECT_GT(references, tracks.size());  // tracks shared between crates
    for (const auto& track : tracks)
        EXPECT_TRUE(fs::is_regular_file(track)) << track;  // stored paths load back
    EXPECT_EQ(SeratoDatabase::records(readBytes(dir / "_Serato_/database V2")).size(), 12u);

    const auto backup = runCli(
        {"backup", "--library", dir.path().native(), "--to", (dir / "backup").native(), "--json"});
    ASSERT_EQ(backup.status, 0) << backup.err;
    // One copy per plain-crate entry and the smart crate's rules file; nothing missing.
    EXPECT_EQ(Json::parse(backup.out)["snapshot"]["copiedFiles"], references + 1);

    const auto again = runProgram(MORROWDECK_DEMO_LIBRARY, {dir.path().native()});
    EXPECT_EQ(again.status, 2);  // never over an existing library
}

}  // namespace
}  // namespace morrowdeck::test
