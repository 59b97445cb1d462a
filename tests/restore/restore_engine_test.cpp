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
    std::string text(const fs::path& file) const {
        const auto bytes = test::readBytes(file);
        return std::string(bytes.begin(), bytes.end());
    }
    Names crate(const std::string& fileName) const {
        const auto bytes = platform::readFile(root / "Subcrates" / fileName);
        return bytes ? CrateParser::storedPaths(*bytes) : Names{};
    }
    std::string volumeRelative(const fs::path& file) const {
        const std::string prefix = SeratoLibrary::volumeMountPrefix(audio);
        return fs::path(file).native().substr(prefix.size() + 1);
    }
    Names crateOrder() const {
        const auto decoded = text::decodeUtf16BE(test::readBytes(root / "neworder.pref"));
        Names lines;
        std::string line;
        for (char c : decoded.value_or("")) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        lines.push_back(line);
        return lines;
    }
};

TEST(RestoreEngine, CratesFoldersAndCrateOrder) {
    Restore r;
    r.audioFile("House/b.mp3");
    r.audioFile("House/a.mp3");
    r.audioFile("House/Deep/c.flac");
    r.audioFile("Track 10/x.mp3");
    r.audioFile("Track 9/y.mp3");
    const auto run = runRestore(r.backup, r.audio, r.serato, {true, false});
    ASSERT_FALSE(run.failed()) << std::get<RunFailure>(run.result).description;

    const auto& snap = run.final();
    EXPECT_EQ(snap.totalFiles, 5 + 4);  // audio files + crates
    EXPECT_EQ(snap.completedFiles, 9);
    EXPECT_EQ(snap.copiedFiles, 9);
    EXPECT_EQ(snap.processedBytes, 25);
    EXPECT_EQ(snap.phase, "Done");
    EXPECT_EQ(r.text(r.audio / "House" / "Deep" / "c.flac"), "audio");
    EXPECT_EQ(r.crate("House.crate"), (Names{r.volumeRelative(r.audio / "House" / "a.mp3"),
                                             r.volumeRelative(r.audio / "House" / "b.mp3")}));
    EXPECT_EQ(r.crate("House%%Deep.crate"),
              Names{r.volumeRelative(r.audio / "House" / "Deep" / "c.flac")});
    EXPECT_EQ(r.crateOrder(), (Names{"[begin record]", "[crate]House", "[crate]House%%Deep",
                                     "[crate]Track 9", "[crate]Track 10"}));
    EXPECT_TRUE(fs::is_directory(r.root / "SmartCrates"));
    EXPECT_FALSE(fs::exists(r.root / "database V2"));  // rebuild off

    EXPECT_TRUE(run.logged("Restoring from " + r.backup.native()));
    EXPECT_EQ(run.log.back().message,
              "Restored 4 crate(s), 0 smart crate(s), 0 track record(s). Open Serato once, quit "
              "it, then run 'Apply "
              "to Serato' to restore ratings & rules.");
    EXPECT_EQ(run.log.back().level, Level::success);
    const std::string notes = r.text(r.audio / "Morrowdeck \u2014 Restore Notes.txt");
    EXPECT_TRUE(
        notes.starts_with("Morrowdeck \u2014 Restore notes\n==========================\n\nYour "
                          "tracks and crates were restored."));
    EXPECT_TRUE(notes.ends_with("a rating-based Smart Crate may come back empty."));
}

TEST(RestoreEngine, OverwriteOffKeepsWhatIsThere) {
    Restore r;
    r.audioFile("House/a.mp3", "new");
    test::writeFile(r.audio / "House" / "a.mp3", "old");
    test::writeFile(r.root / "Subcrates" / "House.crate", "keep me");
    const auto kept = runRestore(r.backup, r.audio, r.serato, {false, false});
    EXPECT_EQ(kept.final().skippedFiles, 1);
    EXPECT_EQ(kept.final().copiedFiles, 1);  // the crate
    EXPECT_EQ(kept.final().completedFiles, 2);
    EXPECT_EQ(r.text(r.audio / "House" / "a.mp3"), "old");
    EXPECT_EQ(r.text(r.root / "Subcrates" / "House.crate"), "keep me");

    const auto replaced = runRestore(r.backup, r.audio, r.serato, {true, false});
    EXPECT_EQ(replaced.final().copiedFiles, 2);
    EXPECT_EQ(r.text(r.audio / "House" / "a.mp3"), "new");
    EXPECT_EQ(r.crate("House.crate"), Names{r.volumeRelative(r.audio / "House" / "a.mp3")});
}

TEST(RestoreEngine, RestoringABackupOntoItselfRemovesNothing) {
    Restore r;
    r.audioFile("House/a.mp3", "precious");
    const auto run = runRestore(r.backup, r.backup, r.serato, {true, false});
    EXPECT_EQ(run.final().skippedFiles, 1);
    EXPECT_EQ(run.final().failedFiles, 0);
    EXPECT_EQ(r.text(r.backup / "House" / "a.mp3"), "precious");
}

TEST(RestoreEngine, SmartCratesOnly) {
    Restore r;
    test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
    test::writeFile(r.backup / "Smart Crates" / "HOW TO RESTORE.txt", "notes");
    const auto run = runRestore(r.backup, r.audio, r.serato);
    EXPECT_EQ(r.text(r.root / "SmartCrates" / "Techno.scrate"), "rules");
    EXPECT_EQ(r.crateOrder(), (Names{"[begin record]", "[crate]Techno"}));
    EXPECT_EQ(run.log.back().message,
              "Restored 0 crate(s), 1 smart crate(s), 0 track record(s). Just open Serato \u2014 "
              "your library is ready.");
    EXPECT_TRUE(run.logged("Restoring smart crates\u2026"));
    EXPECT_FALSE(fs::exists(r.root / "database V2"));  // no records, even with rebuild on
    EXPECT_NE(r.text(r.audio / "Morrowdeck \u2014 Restore Notes.txt")
                  .find("Right-click -> \"Read Tags\""),
              std::string::npos);
}

TEST(RestoreEngine, CrateOrderNamesAreListedOnceAndSavedCopyIsKept) {
    Restore r;
    r.audioFile("Techno/a.mp3");
    test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
    test::writeFile(r.root / "neworder.pref", "original order");
    runRestore(r.backup, r.audio, r.serato, {true, false});
    EXPECT_EQ(r.crateOrder(), (Names{"[begin record]", "[crate]Techno"}));
    EXPECT_EQ(r.text(r.root / "neworder.pref (replaced by Morrowdeck)"), "original order");

    runRestore(r.backup, r.audio, r.serato, {true, false});
    EXPECT_EQ(r.text(r.root / "neworder.pref (replaced by Morrowdeck)"), "original order");
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

TEST(RestoreEngine, StartChecks) {
    Restore r;
    r.audioFile("House/a.mp3");
    test::writeFile(r.dir / "file", "x");
    const auto blocked = runRestore(r.backup, r.dir / "file" / "Audio", r.serato);
    ASSERT_TRUE(blocked.failed());
    EXPECT_NE(std::get<RunFailure>(blocked.result).description.find("Not a directory"),
              std::string::npos);

    test::TmpfsMount readOnly(r.dir / "ro", "ro,size=64k");
    if (!readOnly.ok()) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    fs::create_directories(r.root / "Subcrates");
    fs::create_directories(r.root / "SmartCrates");
    const auto unwritable = runRestore(r.backup, r.dir / "ro", r.serato);
    ASSERT_TRUE(unwritable.failed());
    EXPECT_EQ(std::get<RunFailure>(unwritable.result).description,
              "The destination " + r.root.native() + " is not writable.");
}

TEST(RestoreEngine, FailedCopiesAreCountedAndStillListed) {
    Restore r;
    r.audioFile("House/a.mp3");
    r.audioFile("House/b.mp3");
    fs::create_directories(r.audio / "House" / "a.mp3" / "in the way");
    const auto run = runRestore(r.backup, r.audio, r.serato, {true, false});
    EXPECT_EQ(run.final().failedFiles, 1);
    EXPECT_EQ(run.final().completedFiles, 3);
    EXPECT_EQ(run.count(Level::error), 1u);
    EXPECT_EQ(run.log[0].level, Level::info);
    EXPECT_EQ(r.crate("House.crate").size(), 2u);
}

TEST(RestoreEngine, CancellationAtTheFileAndSmartCrateChecks) {
    {  // within a crate: the next audio file is not started
        Restore r;
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            r.audioFile(std::string("House/") + name);
        fs::create_directories(r.audio / "House" / "a.mp3" /
                               "blocked");  // the first copy fails and logs
        const auto run = runRestore(r.backup, r.audio, r.serato, {},
                                    [](RestoreEngine& engine, const LogEntry& entry) {
                                        if (entry.level == Level::error) engine.cancel();
                                    });
        EXPECT_TRUE(run.final().cancelled);
        EXPECT_EQ(run.final().completedFiles, 1);
        EXPECT_FALSE(fs::exists(r.audio / "House" / "b.mp3"));
        EXPECT_FALSE(fs::exists(r.root / "Subcrates" / "House.crate"));
    }
    {  // before the first smart crate: crates are done, no smart crate, no crate order, no notes
        Restore r;
        r.audioFile("House/a.mp3");
        test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
        const auto run = runRestore(r.backup, r.audio, r.serato, {},
                                    [](RestoreEngine& engine, const LogEntry& entry) {
                                        if (entry.message == "Restoring smart crates\u2026")
                                            engine.cancel();
                                    });
        EXPECT_TRUE(run.final().cancelled);
        EXPECT_TRUE(fs::exists(r.root / "Subcrates" / "House.crate"));
        EXPECT_FALSE(fs::exists(r.root / "SmartCrates" / "Techno.scrate"));
        EXPECT_FALSE(fs::exists(r.root / "neworder.pref"));
        EXPECT_FALSE(fs::exists(r.root / "database V2"));
        EXPECT_EQ(run.log.back().message, "Restore cancelled.");
    }
}

TEST(RestoreEngine, CancellationDuringCrates) {
    Restore r;
    for (int i = 0; i < 5; ++i)
        r.audioFile("A" + std::to_string(i) + "/t.mp3");
    const auto run = runRestore(r.backup, r.audio, r.serato, {},
                                [](RestoreEngine& engine, const LogEntry& entry) {
                                    if (entry.message == "Restoring crates\u2026") engine.cancel();
                                });
    const auto& snap = run.final();
    EXPECT_TRUE(snap.cancelled);
    EXPECT_EQ(snap.phase, "Cancelled");
    EXPECT_EQ(snap.completedFiles, 0);
    EXPECT_EQ(run.log.back().message, "Restore cancelled.");
    EXPECT_EQ(run.log.back().level, Level::warning);
    EXPECT_FALSE(fs::exists(r.root / "neworder.pref"));
    EXPECT_FALSE(fs::exists(r.audio / "Morrowdeck \u2014 Restore Notes.txt"));
}

}  // namespace
}  // namespace morrowdeck
