// morrowdeck-cli backup as a script sees it: options reaching the engine, exit statuses, the
// output's shape, Ctrl-C.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

#include "run_cli.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;

// Genres/House {a}; Techno {c}; smart crate Hits {a}.
class BackupCli : public testing::Test {
  protected:
    void SetUp() override {
        writeFile(lib.music("a.mp3"), std::string(100, 'x'));
        writeFile(lib.music("c.mp3"), std::string(300, 'x'));
        lib.addCrate("Genres%%House.crate", {"a.mp3"});
        lib.addCrate("Techno.crate", {"c.mp3"});
        lib.addCrate("Hits.scrate", {"a.mp3"});
    }
    CliResult backup(std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {"backup", "--library", lib.serato, "--to", to});
        return runCli(extra);
    }
    CliLibrary lib;
    fs::path to = lib.dir / "backup";
};

TEST_F(BackupCli, JsonIsOneDocumentAndMissingFilesExitOne) {
    fs::remove(lib.music("c.mp3"));
    const auto result = backup({"--json"});
    EXPECT_EQ(result.status, 1) << result.err;
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
    for (const auto& entry : doc["log"])
        EXPECT_TRUE(entry.size() == 2 && entry["level"].is_string() && entry["message"].is_string())
            << entry;
}

// Each option's effect is the engine's to test; here only that it gets there.
TEST_F(BackupCli, OptionsReachTheEngine) {
    const auto first = backup({"--dedup", "--smart-as-folders", "--crate", "Smart Crates/Hits"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(first.out.starts_with("info: ") && first.out.find("\nsuccess: ") != std::string::npos)
        << first.out;  // "level: message" lines
    EXPECT_EQ(first.err, "");  // not a terminal: no progress line
    EXPECT_TRUE(fs::is_directory(to / ".ORVEL_Store"));
    EXPECT_TRUE(fs::exists(to / "Smart Crates/Hits/a.mp3"));
    EXPECT_FALSE(fs::exists(to / "Techno"));

    fs::remove_all(to);
    ASSERT_EQ(backup({"--threads", "1"}).status, 0);
    writeFile(lib.music("c.mp3"), std::string(301, 'y'));  // the source changes size
    ASSERT_EQ(backup({"--no-verify"}).status, 0);
    EXPECT_EQ(fs::file_size(to / "Techno/c.mp3"), 300u);  // not re-copied
}

// Ctrl-C cancels and waits for the run's end. Thousands of files copied one at a time keep
// the run going long enough on any machine tried; a run that finished before the signal
// arrived is accepted with its normal status rather than failing on a fast machine.
TEST_F(BackupCli, CtrlCCancelsAndExits130) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        names.push_back("t" + std::to_string(i) + ".mp3");
        writeFile(lib.music(names.back()), std::string(4096, 'x'));
    }
    lib.addCrate("Big.crate", names);
    CliProcess process({"backup", "--library", lib.serato, "--to", to, "--threads", "1"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (process.outputSoFar().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(process.pid(), SIGINT);
    const auto result = process.wait();
    if (result.status == 0) GTEST_SKIP() << "the backup finished before the signal arrived";
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_FALSE(fs::exists(to / "Big" / names.back()));
}

}  // namespace
}  // namespace morrowdeck::test
