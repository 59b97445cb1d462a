// Restoring a backup folder: audio, crate files, crate order, notes, counters, cancellation.
#include "restore/restore_engine.h"

#include <gtest/gtest.h>

#include "library/crate_parser.h"
#include "library/serato_library.h"
#include "library/text_encoding.h"
#include "platform/file_system.h"
#include "restore_harness.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Level = LogEntry::Level;
using Names = std::vector<std::string>;
using test::runRestore;

struct Restore {
    test::TempDir dir;
    fs::path backup = dir / "Backup";
    fs::path audio = dir / "Restored";
    fs::path serato = dir / "Library";
    fs::path root = serato / "_Serato_";

    void audioFile(const std::string& relPath, std::string_view content = "audio") {
        test::writeFile(backup / relPath, content);
    }
    Names crate(const std::string& fileName) const {
        const auto bytes = platform::readFile(root / "Subcrates" / fileName);
        return bytes ? CrateParser::storedPaths(*bytes) : Names{};
    }
    std::string key(const std::string& relPath) const {
        const std::string prefix = SeratoLibrary::volumeMountPrefix(audio);
        return (audio / relPath).native().substr(prefix.size() + 1);
    }
    std::string crateOrder() const {
        return text::decodeUtf16BE(test::readBytes(root / "neworder.pref")).value_or("?");
    }
};

// Copies finish in any order on the pool; crate files, failure lines and counters do not.
TEST(RestoreEngine, CratesFoldersAndCrateOrderWhateverOrderCopiesFinishIn) {
    Restore r;
    Names house;
    for (int i = 39; i >= 0; --i) {  // created in reverse, listed in code-point order
        const std::string name = "t" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".mp3";
        r.audioFile("House/" + name, std::string(static_cast<std::size_t>(1 + i * 997), 'x'));
        house.insert(house.begin(), r.key("House/" + name));
    }
    r.audioFile("House/Deep/c.flac");
    r.audioFile("Track 10/x.mp3");
    r.audioFile("Track 9/y.mp3");
    for (const char* blocked : {"House/t31.mp3/in the way", "House/t07.mp3/in the way"})
        fs::create_directories(r.audio / blocked);
    const auto run = runRestore(r.backup, r.audio, r.serato, {true, false, 16});
    ASSERT_FALSE(run.failed()) << std::get<RunFailure>(run.result).description;

    const auto& snap = run.final();
    EXPECT_EQ(snap.totalFiles, 43 + 4);  // audio files + crates
    EXPECT_EQ(snap.completedFiles, 47);
    EXPECT_EQ(snap.copiedFiles, 45);
    EXPECT_EQ(snap.failedFiles, 2);
    EXPECT_EQ(snap.phase, "Done");
    EXPECT_EQ(test::readText(r.audio / "House" / "Deep" / "c.flac"), "audio");
    EXPECT_EQ(r.crate("House.crate"), house);  // failed copies are still listed
    EXPECT_EQ(r.crate("House%%Deep.crate"), Names{r.key("House/Deep/c.flac")});
    EXPECT_EQ(r.crateOrder(), "[begin record]\n[crate]House\n[crate]House%%Deep\n"
                              "[crate]Track 9\n[crate]Track 10");
    EXPECT_TRUE(fs::is_directory(r.root / "SmartCrates"));
    EXPECT_FALSE(fs::exists(r.root / "database V2"));  // rebuild off

    Names errors;
    for (const auto& entry : run.log)
        if (entry.level == Level::error) errors.push_back(entry.message);
    EXPECT_EQ(errors, (Names{"Restore failed: t07.mp3 \u2014 Is a directory",
                             "Restore failed: t31.mp3 \u2014 Is a directory"}));
    EXPECT_TRUE(run.logged("Restoring from " + r.backup.native()));
    EXPECT_EQ(run.log.back().message,
              "Restored 4 crate(s), 0 smart crate(s), 0 track record(s). Open Serato once, quit "
              "it, then run 'Apply to Serato' to restore ratings & rules.");
    EXPECT_EQ(run.log.back().level, Level::success);
    const std::string notes = test::readText(r.audio / "Morrowdeck \u2014 Restore Notes.txt");
    EXPECT_TRUE(notes.starts_with("Morrowdeck \u2014 Restore notes\n==========================\n\n"
                                  "Your tracks and crates were restored."));
    EXPECT_TRUE(notes.ends_with("a rating-based Smart Crate may come back empty."));
}

TEST(RestoreEngine, OverwriteOffKeepsFilesAndCrateFiles) {
    Restore r;
    r.audioFile("House/a.mp3", "new");
    test::writeFile(r.audio / "House" / "a.mp3", "old");
    test::writeFile(r.root / "Subcrates" / "House.crate", "keep me");
    const auto kept = runRestore(r.backup, r.audio, r.serato, {false, false});
    EXPECT_EQ(kept.final().skippedFiles, 1);
    EXPECT_EQ(kept.final().copiedFiles, 1);  // the crate
    EXPECT_EQ(kept.final().completedFiles, 2);
    EXPECT_EQ(test::readText(r.root / "Subcrates" / "House.crate"), "keep me");

    const auto replaced = runRestore(r.backup, r.audio, r.serato, {true, false});
    EXPECT_EQ(replaced.final().copiedFiles, 2);
    EXPECT_EQ(r.crate("House.crate"), Names{r.key("House/a.mp3")});
}

TEST(RestoreEngine, SmartCratesAndTheSavedCrateOrder) {
    Restore r;
    test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
    test::writeFile(r.backup / "Smart Crates" / "HOW TO RESTORE.txt", "notes");
    test::writeFile(r.root / "neworder.pref", "original order");
    const auto run = runRestore(r.backup, r.audio, r.serato);
    EXPECT_EQ(test::readText(r.root / "SmartCrates" / "Techno.scrate"), "rules");
    EXPECT_EQ(run.log.back().message,
              "Restored 0 crate(s), 1 smart crate(s), 0 track record(s). Just open Serato \u2014 "
              "your library is ready.");
    EXPECT_TRUE(run.logged("Restoring smart crates\u2026"));
    EXPECT_FALSE(fs::exists(r.root / "database V2"));  // no records, even with rebuild on
    EXPECT_NE(test::readText(r.audio / "Morrowdeck \u2014 Restore Notes.txt")
                  .find("Right-click -> \"Read Tags\""),
              std::string::npos);

    r.audioFile("Techno/a.mp3");  // a crate and a smart crate of one name are listed once
    runRestore(r.backup, r.audio, r.serato, {true, false});
    EXPECT_EQ(r.crateOrder(), "[begin record]\n[crate]Techno");
    EXPECT_EQ(test::readText(r.root / "neworder.pref (replaced by Morrowdeck)"), "original order");
}

TEST(RestoreEngine, EmptyBackup) {
    Restore r;
    fs::create_directories(r.backup / "Empty");
    const auto run = runRestore(r.backup, r.audio, r.serato);
    EXPECT_TRUE(run.logged("No crates or smart crates found in that folder."));
    EXPECT_EQ(run.final().phase, "Done");
    EXPECT_TRUE(run.final().finished);
    EXPECT_FALSE(fs::exists(r.root / "neworder.pref"));
    EXPECT_FALSE(fs::exists(r.audio / "Morrowdeck \u2014 Restore Notes.txt"));
    EXPECT_EQ(run.count(Level::success), 0u);
}

TEST(RestoreEngine, UnwritableDestinationIsAStartFailure) {
    Restore r;
    r.audioFile("House/a.mp3");
    test::TmpfsMount readOnly(r.dir / "ro", "ro,size=64k");
    if (!readOnly.ok()) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    fs::create_directories(r.root / "Subcrates");
    fs::create_directories(r.root / "SmartCrates");
    const auto unwritable = runRestore(r.backup, r.dir / "ro", r.serato);
    EXPECT_EQ(std::get<RunFailure>(unwritable.result).description,
              "The destination " + r.root.native() + " is not writable.");
}

// A cancelled restore keeps what it wrote and writes no crate order, database or notes.
TEST(RestoreEngine, Cancellation) {
    const struct {
        const char* at;
        bool crateFile;
    } cases[] = {{"Restoring crates\u2026", false}, {"Restoring smart crates\u2026", true}};
    for (const auto& c : cases) {
        Restore r;
        r.audioFile("House/a.mp3");
        r.audioFile("Techno/b.mp3");
        test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
        const auto run = runRestore(r.backup, r.audio, r.serato, {},
                                    [&](RestoreEngine& engine, const LogEntry& entry) {
                                        if (entry.message == c.at) engine.cancel();
                                    });
        const auto& snap = run.final();
        EXPECT_TRUE(snap.cancelled);
        EXPECT_EQ(snap.phase, "Cancelled");
        EXPECT_EQ(snap.completedFiles, c.crateFile ? 4 : 0) << c.at;
        EXPECT_EQ(fs::exists(r.root / "Subcrates" / "House.crate"), c.crateFile);
        EXPECT_EQ(fs::exists(r.audio / "House" / "a.mp3"), c.crateFile);
        EXPECT_FALSE(fs::exists(r.root / "SmartCrates" / "Techno.scrate"));
        EXPECT_FALSE(fs::exists(r.root / "neworder.pref"));
        EXPECT_FALSE(fs::exists(r.root / "database V2"));
        EXPECT_FALSE(fs::exists(r.audio / "Morrowdeck \u2014 Restore Notes.txt"));
        EXPECT_EQ(run.log.back().message, "Restore cancelled.");
        EXPECT_EQ(run.log.back().level, Level::warning);
    }
}

}  // namespace
}  // namespace morrowdeck
