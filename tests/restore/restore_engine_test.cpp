// Restoring a backup folder: reading it back into crates, then audio, crate files, crate
// order, notes, counters, cancellation, and the fresh "database V2" built from Serato's saved
// records or the files' tags.
#include "restore/restore_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "engine/backup_catalog.h"
#include "engine/backup_manifest.h"
#include "engine/serato_error.h"
#include "library/bounded_read.h"
#include "library/crate_order.h"
#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "library/text_encoding.h"
#include "platform/backend.h"
#include "restore/existing_files.h"
#include "restore/member_targets.h"
#include "restore/restore_status.h"
#include "restore/restore_texts.h"
#include "restore/undo_index.h"
#include "support/engine_harness.h"
#include "support/fake_proc.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Bytes = SeratoDatabase::Bytes;
using Level = LogEntry::Level;
using Names = std::vector<std::string>;

const std::string notesFile = "Morrowdeck \u2014 Restore Notes.txt";

struct Restore {
    test::TempDir dir;
    fs::path backup = dir / "Backup";
    fs::path audio = dir / "Restored";
    fs::path serato = dir / "Library";
    fs::path root = serato / "_Serato_";
    fs::path proc;  // the process table the run looks in; empty: the real one
    // Whether the audio target takes a name; empty: its file system says.
    std::function<bool(const fs::path&, const std::string&)> nameCheck;

    // Runs a restore through run(); `onLine` sees every log line on the engine's thread.
    std::vector<std::string> crates;  // to restore; empty: all
    test::RunRecord run(ExistingFiles existing = ExistingFiles::replace,
                        bool rebuildDatabase = true,
                        std::function<void(RestoreEngine&, const LogEntry&)> onLine = {}) {
        RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
        engine.setCrates(crates);
        if (!proc.empty()) engine.setProcessTable(proc);
        if (nameCheck) engine.setNameCheck(nameCheck);
        return test::captureRun(
            engine,
            [&](auto onLog, auto onProgress, auto completion) {
                engine.run(backup, audio, serato, existing, rebuildDatabase, onLog, onProgress,
                           completion);
            },
            onLine);
    }
    void audioFile(const std::string& relPath, std::string_view content = "audio") {
        test::writeFile(backup / test::pathOf(relPath), content);
    }
    Names crate(const std::string& fileName) const {
        return CrateParser::storedPaths(test::readBytes(root / "Subcrates" / test::pathOf(fileName)));
    }
    std::string key(const std::string& relPath) const {
        const std::string prefix = SeratoLibrary::volumeMountPrefix(audio);
        return test::text(audio / test::pathOf(relPath)).substr(prefix.size() + 1);
    }
    std::string crateOrder() const {
        return text::decodeUtf16BE(test::readBytes(root / "neworder.pref")).value_or("?");
    }
    std::vector<SeratoDatabase::Record> database() const {
        return SeratoDatabase::records(test::readBytes(root / "database V2"));
    }
    // The undo records of the library's runs, oldest first.
    std::vector<UndoIndex> runs() const {
        std::vector<UndoIndex> found;
        for (const auto& item : fs::directory_iterator(root / ".morrowdeck-undo"))
            if (auto index = UndoIndex::read(item.path())) found.push_back(std::move(*index));
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.startedNs < b.startedNs; });
        return found;
    }
    // What a run saved of a file before replacing it.
    std::string savedBefore(const UndoIndex& run, const fs::path& file) const {
        const auto* entry = run.find(file);
        if (entry == nullptr || entry->saved.empty()) return "(not saved)";
        return test::readText(root / ".morrowdeck-undo" / run.id / entry->saved);
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
    const auto run = r.run(ExistingFiles::replace, false);
    ASSERT_EQ(run.failure(), "");

    const auto& snap = run.final();
    EXPECT_EQ(snap.totalFiles, 43 + 4);  // audio files + crates
    EXPECT_EQ(snap.completedFiles, 47);
    EXPECT_EQ(snap.copiedFiles, 45);
    EXPECT_EQ(snap.failedFiles, 2);
    EXPECT_EQ(test::readText(r.audio / "House" / "Deep" / "c.flac"), "audio");
    EXPECT_EQ(r.crate("House.crate"), house);  // failed copies are still listed
    EXPECT_EQ(r.crate("House%%Deep.crate"), Names{r.key("House/Deep/c.flac")});
    EXPECT_EQ(r.crateOrder(),
              "[begin record]\n[crate]House\n[crate]House%%Deep\n"
              "[crate]Track 9\n[crate]Track 10\n[end record]\n");

    Names errors;
    for (const auto& entry : run.log)
        if (entry.level == Level::error) errors.push_back(entry.message);
    EXPECT_EQ(errors, (Names{"Restore failed: t07.mp3 \u2014 Is a directory",
                             "Restore failed: t31.mp3 \u2014 Is a directory"}));
    EXPECT_TRUE(run.logged("Restoring from " + test::text(r.backup)));
    EXPECT_EQ(run.log.back().message,
              "Restored 4 crate(s), 0 smart crate(s), 43 track(s) in 43 crate entries, 0 track "
              "record(s). Open Serato once, quit it, then run 'Apply to Serato' to restore "
              "ratings & rules.");
    EXPECT_EQ(run.log.back().level, Level::warning);  // two copies failed
    const std::string notes = test::readText(r.audio / test::pathOf(notesFile));
    EXPECT_TRUE(
        notes.starts_with("Morrowdeck \u2014 Restore notes\n==========================\n\n"
                          "Your tracks and crates were restored."));
}

TEST(RestoreEngine, OverwriteOffKeepsFilesAndCrateFiles) {
    Restore r;
    r.audioFile("House/a.mp3", "new");
    test::writeFile(r.audio / "House" / "a.mp3", "old");
    test::writeFile(r.root / "Subcrates" / "House.crate", "keep me");
    // The plan counts the existing file as kept, or as to copy when replacing, and writes nothing.
    for (const bool overwrite : {false, true}) {
        const auto preview = RestoreEngine(std::make_shared<test::ImmediateQueue>())
                                 .preview(r.backup, r.audio, r.serato,
                                          overwrite ? ExistingFiles::replace : ExistingFiles::keep);
        ASSERT_EQ(preview.crates.size(), 1u);
        EXPECT_EQ(preview.crates[0].name, "House");
        EXPECT_EQ(preview.crates[0].filesUpToDate, overwrite ? 0 : 1);
        EXPECT_EQ(preview.crates[0].bytesToCopy, overwrite ? 3 : 0);
    }
    EXPECT_EQ(test::readText(r.audio / "House" / "a.mp3"), "old");
    const auto kept = r.run(ExistingFiles::keep, false);
    EXPECT_EQ(kept.final().skippedFiles, 2);  // the audio file and the crate file
    EXPECT_EQ(kept.final().copiedFiles, 0);
    EXPECT_EQ(test::readText(r.root / "Subcrates" / "House.crate"), "keep me");

    EXPECT_EQ(r.run(ExistingFiles::replace, false).final().copiedFiles, 2);
    EXPECT_EQ(r.crate("House.crate"), Names{r.key("House/a.mp3")});
}

// What each choice does with audio files already at the target: one older and one newer than
// the backup's, and a new one. The dry run counts what the run then does; crate files follow
// the restored files except where existing files are kept.
TEST(RestoreEngine, ExistingFilesAtTheTarget) {
    struct Case {
        ExistingFiles existing;
        const char* older;  // afterwards, at the place of the file older than the backup's
        const char* newer;  // and of the one newer
        Names aside;        // "(restored)" files written, in House
        std::int64_t fresh, replaced, kept, besides;
        bool crateReplaced;
    };
    const Case cases[] = {
        {ExistingFiles::keep, "old", "mine", {}, 1, 0, 2, 0, false},
        {ExistingFiles::replace, "new", "two", {}, 1, 2, 0, 0, true},
        {ExistingFiles::ifNewer, "new", "mine", {}, 1, 1, 1, 0, false},
        {ExistingFiles::keepBoth,
         "old",
         "mine",
         {"older (restored).mp3", "newer (restored).mp3"},
         1,
         0,
         0,
         2,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.existing)));
        Restore r;
        r.audioFile("House/older.mp3", "new");
        r.audioFile("House/newer.mp3", "two");
        r.audioFile("House/fresh.mp3", "add");
        test::writeFile(r.audio / "House" / "older.mp3", "old");
        test::writeFile(r.audio / "House" / "newer.mp3", "mine");
        ASSERT_TRUE(test::copyModifiedTime(r.backup / "House" / "older.mp3",
                                           r.audio / "House" / "older.mp3",
                                           -std::chrono::hours(1)));
        ASSERT_TRUE(test::copyModifiedTime(r.backup / "House" / "newer.mp3",
                                           r.audio / "House" / "newer.mp3", std::chrono::hours(1)));
        test::writeFile(r.root / "Subcrates" / "House.crate", "the library's own");

        const auto preview = RestoreEngine(std::make_shared<test::ImmediateQueue>())
                                 .preview(r.backup, r.audio, r.serato, c.existing);
        const auto total = preview.total();
        EXPECT_EQ(total.filesToCopy - total.filesToReplace - total.filesBesideExisting, c.fresh);
        EXPECT_EQ(total.filesToReplace, c.replaced);
        EXPECT_EQ(total.filesUpToDate, c.kept);
        EXPECT_EQ(total.filesBesideExisting, c.besides);

        const auto run = r.run(c.existing);
        EXPECT_EQ(run.final().failedFiles, 0);
        EXPECT_EQ(test::readText(r.audio / "House" / "older.mp3"), c.older);
        EXPECT_EQ(test::readText(r.audio / "House" / "newer.mp3"), c.newer);
        EXPECT_EQ(test::readText(r.audio / "House" / "fresh.mp3"), "add");
        Names written;
        for (const auto& name : c.aside) {
            EXPECT_TRUE(fs::exists(r.audio / "House" / name)) << name;
            written.push_back(r.key("House/" + name));
        }
        if (!c.crateReplaced) {
            EXPECT_EQ(test::readText(r.root / "Subcrates" / "House.crate"), "the library's own");
            continue;
        }
        // The crate and the records point at the restored files, wherever they were written.
        const Names crate = r.crate("House.crate");
        Names recorded;
        for (const auto& record : r.database())
            recorded.push_back(record.path);
        for (const auto& key : written) {
            EXPECT_NE(std::find(crate.begin(), crate.end(), key), crate.end()) << key;
            EXPECT_NE(std::find(recorded.begin(), recorded.end(), key), recorded.end()) << key;
        }
        if (c.existing == ExistingFiles::keepBoth) {
            // A second run finds its own copies: nothing new is written beside them.
            const auto again = r.run(c.existing);
            EXPECT_EQ(again.final().copiedFiles, 1);  // the crate file
            EXPECT_FALSE(fs::exists(r.audio / "House" / "older (restored 2).mp3"));
            EXPECT_EQ(r.crate("House.crate"), crate);
        }
    }
}

// Keeping both needs a free name: when every "(restored)" name is taken by other files, the
// copy is a failure of its own, and the existing file and its record stay.
TEST(RestoreEngine, KeepBothWithoutAFreeNameFails) {
    Restore r;
    r.audioFile("House/a.mp3", "new");
    test::writeFile(r.audio / "House" / "a.mp3", "old");
    for (int number = 1; number <= 99; ++number)
        test::writeFile(r.audio / "House" / restoredCopyName("a.mp3", number), "other");
    const auto run = r.run(ExistingFiles::keepBoth);
    EXPECT_EQ(run.final().failedFiles, 1);
    EXPECT_EQ(test::readText(r.audio / "House" / "a.mp3"), "old");
    EXPECT_TRUE(run.logged("Restore failed: " + test::text(r.audio / "House" / "a.mp3") +
                           " \u2014 no free \"(restored)\" name beside the existing file, which "
                           "stays"));
    EXPECT_FALSE(fs::exists(r.root / "database V2"));
}

TEST(RestoreEngine, RestoredCopyNames) {
    const std::string longStem = "\u00e9" + std::string(250, 'x');  // 252 bytes
    const struct {
        std::string name;
        int number;
        std::string copy;
    } cases[] = {
        {"Track.mp3", 1, "Track (restored).mp3"},
        {"Track.mp3", 2, "Track (restored 2).mp3"},
        {"a.b.flac", 1, "a.b (restored).flac"},
        {".hidden", 1, ".hidden (restored)"},
        // Too long for a name: the stem is cut on a character boundary.
        {longStem + ".mp3", 1, "\u00e9" + std::string(238, 'x') + " (restored).mp3"},
        {std::string(239, 'x') + "\u00e9" + std::string(20, 'y') + ".mp3", 1,
         std::string(239, 'x') + " (restored).mp3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(restoredCopyName(c.name, c.number), c.copy) << c.name;
        EXPECT_LE(restoredCopyName(c.name, c.number).size(), 255u);
    }
}

// A restore of chosen crates: the crate and those below it, with their tracks, merged into a
// library whose other crates, audio, records and crate order stay.
TEST(RestoreEngine, OnlyTheChosenCratesAreRestored) {
    Restore r;
    r.audioFile("House/a.mp3");
    r.audioFile("House/Deep/b.mp3");
    r.audioFile("Techno/c.mp3");
    test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
    test::writeFile(r.backup / ".morrowdeck" / "serato.json",
                    R"({"assets": {}, "smartCrates": [{"name": "Techno", "rules": "r"}]})");
    test::writeFile(r.root / "Subcrates" / "Other.crate", "other crate");
    test::writeFile(r.audio / "Other" / "x.mp3", "mine");
    test::writeFile(r.root / "neworder.pref", CrateOrder::data({"Other"}));
    SeratoDatabase::Entry other;
    other.path = "Music/x.mp3";
    other.ext = "mp3";
    test::writeFile(r.root / "database V2", SeratoDatabase::data({SeratoDatabase::record(other)}));

    // A name that is no crate of the backup stops the run before anything is written.
    r.crates = {"House", "Trance"};
    EXPECT_EQ(r.run().failure(), "No crate named Trance in the backup.");
    RestoreEngine planner(std::make_shared<test::ImmediateQueue>());
    planner.setCrates(r.crates);
    EXPECT_THROW(planner.preview(r.backup, r.audio, r.serato, ExistingFiles::replace), SeratoError);
    EXPECT_FALSE(fs::exists(r.root / ".morrowdeck-undo"));
    EXPECT_FALSE(fs::exists(r.audio / "House"));

    r.crates = {"house"};  // names compare as written
    EXPECT_EQ(r.run().failure(), "No crate named house in the backup.");

    r.crates = {"House"};
    planner.setCrates(r.crates);
    Names rows;
    for (const auto& row :
         planner.preview(r.backup, r.audio, r.serato, ExistingFiles::replace).crates)
        rows.push_back(row.name);
    EXPECT_EQ(rows, (Names{"House/Deep", "House"}));
    const auto run = r.run();
    EXPECT_EQ(run.failure(), "");
    EXPECT_EQ(r.crate("House.crate"), Names{r.key("House/a.mp3")});
    EXPECT_EQ(r.crate("House%%Deep.crate"), Names{r.key("House/Deep/b.mp3")});
    EXPECT_FALSE(fs::exists(r.root / "Subcrates" / "Techno.crate"));
    EXPECT_FALSE(fs::exists(r.root / "SmartCrates" / "Techno.scrate"));
    EXPECT_FALSE(fs::exists(r.audio / "Techno"));
    EXPECT_EQ(test::readText(r.root / "Subcrates" / "Other.crate"), "other crate");
    EXPECT_EQ(test::readText(r.audio / "Other" / "x.mp3"), "mine");
    EXPECT_EQ(r.crateOrder(),
              "[begin record]\n[crate]House\n[crate]House%%Deep\n[crate]Other\n[end record]\n");
    Names recorded;
    for (const auto& record : r.database())
        recorded.push_back(record.path);
    std::sort(recorded.begin(), recorded.end());
    Names expected{r.key("House/Deep/b.mp3"), r.key("House/a.mp3"), "Music/x.mp3"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(recorded, expected);

    EXPECT_FALSE(fs::exists(r.root / ".morrowdeck" / "apply.json"));  // nor its rules

    // A smart crate comes back by its own path only.
    r.crates = {"Smart Crates/Techno"};
    EXPECT_EQ(r.run().failure(), "");
    EXPECT_EQ(test::readText(r.root / "SmartCrates" / "Techno.scrate"), "rules");
    EXPECT_EQ(
        nlohmann::json::parse(test::readText(r.root / ".morrowdeck" / "apply.json"))["smartCrates"]
            .size(),
        1u);
    EXPECT_FALSE(fs::exists(r.root / "Subcrates" / "Techno.crate"));
}

// Audio on another drive than the Serato folder: the paths written are those the library's
// own loader resolves, relative to the Serato folder's volume.
TEST(RestoreEngine, CratePathsResolveFromTheRestoredLibrary) {
    Restore r;
    r.audioFile("House/a.mp3");
    test::TmpfsMount drive(r.audio, "size=1m");
    if (!drive.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    r.run(ExistingFiles::replace, false);
    const auto forest = SeratoLibrary::loadCrates(r.root);
    ASSERT_EQ(forest.size(), 1u);
    EXPECT_EQ(forest[0]->tracks, Names{test::text(r.audio / "House" / "a.mp3")});
}

TEST(RestoreEngine, SmartCratesAndTheSavedCrateOrder) {
    Restore r;
    test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
    test::writeFile(r.backup / "Smart Crates" / "HOW TO RESTORE.txt", "notes");
    test::writeFile(r.root / "neworder.pref", "original order");
    const auto run = r.run();
    EXPECT_EQ(test::readText(r.root / "SmartCrates" / "Techno.scrate"), "rules");
    EXPECT_EQ(run.log.back().message,
              "Restored 0 crate(s), 1 smart crate(s), 0 track(s) in 0 crate entries, 0 track "
              "record(s). Just open Serato \u2014 your library is ready.");
    EXPECT_FALSE(fs::exists(r.root / "database V2"));  // no records, even with rebuild on

    r.audioFile("Techno/a.mp3");  // a crate and a smart crate of one name are listed once
    r.run(ExistingFiles::replace, false);
    EXPECT_EQ(r.crateOrder(), "[begin record]\n[crate]Techno\n[end record]\n");
    EXPECT_EQ(r.savedBefore(r.runs().front(), r.root / "neworder.pref"), "original order");
}

// A backup that lost a file after it was made, and holds a video its crate lists: the video
// comes back like the audio, the lost file is named and counted, and the crate keeps that
// track's original path. The catalog is read from the backup, so a path in it that would
// lead out of the crate folders is never looked at.
TEST(RestoreEngine, CatalogFilesTheScanPassesOverOrThatAreGone) {
    Restore r;
    r.audioFile("House/a.mp3");
    r.audioFile("House/clip.mov");
    test::writeFile(r.dir / "outside.mp3", "not the backup's");
    BackupCatalog catalog;
    catalog.tracks = {{"House/a.mp3", "Music/a.mp3"},
                      {"House/gone.mp3", "Music/gone.mp3"},
                      {"House/clip.mov", "Music/clip.mov"},
                      {"../outside.mp3", "Music/outside.mp3"}};
    test::writeFile(r.backup / ".morrowdeck" / "catalog.json", catalog.encode());
    test::writeFile(r.backup / ".morrowdeck" / "Subcrates" / "House.crate",
                    CrateWriter::crateData({"Music/a.mp3", "Music/gone.mp3", "Music/clip.mov"}));

    RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
    const RunPreview preview = engine.preview(r.backup, r.audio, r.serato, ExistingFiles::replace);
    ASSERT_EQ(preview.crates.size(), 2u);  // House, and the folder of the path that climbs out
    EXPECT_EQ(preview.crates[0].filesToCopy, 2);
    ASSERT_EQ(preview.crates[0].problems.size(), 1u);
    EXPECT_EQ(preview.crates[0].problems[0].path, "House/gone.mp3");

    const auto run = r.run();
    EXPECT_EQ(r.crate("House.crate"),
              (Names{r.key("House/a.mp3"), "Music/gone.mp3", r.key("House/clip.mov")}));
    EXPECT_EQ(run.final().missingFiles, 2);
    EXPECT_TRUE(run.logged("Missing from the backup: House/gone.mp3"));
    EXPECT_FALSE(fs::exists(r.audio / "outside.mp3"));
    EXPECT_EQ(restoreStatusMessage(run.final(), true),
              "Restore finished with 2 file(s) missing from the backup.");
    EXPECT_EQ(run.log.back().level, Level::warning);
}

// Two drives of one library may store the same path for two tracks: each is its own track.
TEST(RestoreEngine, TracksOfTwoDrivesUnderOnePathAreTwoTracks) {
    Restore r;
    r.audioFile("House/a.mp3", "home");
    r.audioFile("House/a (2).mp3", "drive");
    BackupCatalog catalog;
    catalog.members.resize(2);
    catalog.members[0].name = "home";
    catalog.members[1].name = "USB";
    catalog.tracks = {{"House/a.mp3", "Music/a.mp3", 0}, {"House/a (2).mp3", "Music/a.mp3", 1}};
    test::writeFile(r.backup / ".morrowdeck" / "catalog.json", catalog.encode());
    test::writeFile(r.backup / ".morrowdeck" / "Subcrates" / "House.crate",
                    CrateWriter::crateData({"Music/a.mp3"}));
    EXPECT_EQ(r.run().final().copiedFiles, 3);  // both files and the crate file
    EXPECT_EQ(test::readText(r.audio / "House" / "a (2).mp3"), "drive");
    EXPECT_EQ(r.crate("House.crate"), (Names{r.key("House/a.mp3"), r.key("House/a (2).mp3")}));
}

// As it was: each library's tracks go back to their own paths below its place, each library
// gets its own crates from its saved files; a track a library lists on another drive the macOS
// way goes to that drive's library, and a recorded path that climbs out of its place writes
// nothing. A library without a place stops the run before anything is written.
TEST(RestoreEngine, AsItWasEachLibraryGoesToItsPlace) {
    Restore r;
    r.audioFile("House/a.mp3", "home a");
    r.audioFile("House/b.mp3", "drive b");
    r.audioFile("House/m.mp3", "on the drive, listed by the home library");
    r.audioFile("House/evil.mp3", "escape");
    BackupCatalog catalog;
    catalog.members.resize(2);
    catalog.members[0].name = "home";
    catalog.members[1].name = "1A2B-3C4D";
    catalog.members[1].label = "GIG";
    catalog.tracks = {{"House/a.mp3", "Music/a.mp3", 0},
                      {"House/b.mp3", "Music/b.mp3", 1},
                      {"House/m.mp3", "Volumes/gig/Music/m.mp3", 0},
                      {"House/evil.mp3", "Music/../../../escape.mp3", 1}};
    const fs::path saved = r.backup / ".morrowdeck";
    test::writeFile(saved / "catalog.json", catalog.encode());
    test::writeFile(saved / "Subcrates" / "House.crate", CrateWriter::crateData({"Music/a.mp3"}));
    test::writeFile(saved / "Libraries" / "1A2B-3C4D" / "Subcrates" / "House.crate",
                    CrateWriter::crateData({"Music/b.mp3", "Music/m.mp3"}));
    const auto targets = MemberTargets::resolve(
        catalog, {{"home", r.dir / "Home"}, {"1A2B-3C4D", r.dir / "Drive"}}, {}, r.root);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[1].files, 3u);  // b, m and the one that goes nowhere
    EXPECT_EQ(targets[1].serato, r.dir / "Drive" / "_Serato_");

    RestoreEngine unplaced(std::make_shared<test::ImmediateQueue>());
    auto withoutDrive = targets;
    withoutDrive[1] = MemberTarget{1, "1A2B-3C4D", {}, {}, 3, MemberTarget::Found::none};
    unplaced.setTargets(withoutDrive);
    EXPECT_THROW(unplaced.execute(r.backup, {}, {}, ExistingFiles::keep, true), SeratoError);
    EXPECT_FALSE(fs::exists(r.dir / "Home"));

    RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
    engine.setTargets(targets);
    const auto snap = engine.execute(r.backup, {}, {}, ExistingFiles::keep, true);
    EXPECT_EQ(test::readText(r.dir / "Home" / "Music" / "a.mp3"), "home a");
    EXPECT_EQ(test::readText(r.dir / "Drive" / "Music" / "b.mp3"), "drive b");
    EXPECT_EQ(test::readText(r.dir / "Drive" / "Music" / "m.mp3"),
              "on the drive, listed by the home library");
    EXPECT_FALSE(fs::exists(r.dir / "escape.mp3"));
    EXPECT_EQ(snap.failedFiles, 1);
    const auto stored = [](const fs::path& crate, const fs::path& root) {
        Names names;
        const std::string prefix = SeratoLibrary::volumeMountPrefix(root);
        for (const auto& path : CrateParser::storedPaths(test::readBytes(crate)))
            names.push_back(test::text(test::pathOf(path).lexically_relative(
                test::pathOf(CrateWriter::volumeRelativePath(root, prefix)))));
        return names;
    };
    EXPECT_EQ(stored(r.dir / "Home" / "_Serato_" / "Subcrates" / "House.crate", r.dir / "Home"),
              Names{"Music/a.mp3"});
    EXPECT_EQ(stored(r.dir / "Drive" / "_Serato_" / "Subcrates" / "House.crate", r.dir / "Drive"),
              (Names{"Music/b.mp3", "Music/m.mp3"}));
}

// A catalog that lists the backup's crates: the folders and saved crate and smart-crate files
// of other crates (an earlier run's, renamed or removed since; a folder added by hand) are not
// restored, their audio stays in the backup, and the dry run names those folders without
// counting their files.
TEST(RestoreEngine, OnlyTheCratesOfTheLastRunComeBack) {
    Restore r;
    r.audioFile("New/a.mp3");
    r.audioFile("Old/a.mp3");
    r.audioFile("Hand/h.mp3");
    const fs::path saved = r.backup / ".morrowdeck";
    for (const char* name : {"New.crate", "Old.crate", "Empty.crate"})
        test::writeFile(saved / "Subcrates" / name, CrateWriter::crateData({"Music/a.mp3"}));
    for (const char* name : {"Hits.scrate", "Gone.scrate"}) {
        test::writeFile(saved / "SmartCrates" / name, "rules");
        test::writeFile(r.backup / "Smart Crates" / name, "rules");
    }
    BackupCatalog catalog;
    catalog.crates = {"New", "Empty", "Smart Crates/Hits"};
    catalog.tracks = {{"New/a.mp3", "Music/a.mp3"}, {"Old/a.mp3", "Music/a.mp3"}};
    test::writeFile(saved / "catalog.json", catalog.encode());

    RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
    const RunPreview preview = engine.preview(r.backup, r.audio, r.serato, ExistingFiles::replace);
    std::map<std::string, std::pair<std::int64_t, std::string>> rows;
    for (const auto& row : preview.crates)
        rows[row.name] = {row.filesToCopy, row.leftOut};
    EXPECT_EQ(rows, (std::map<std::string, std::pair<std::int64_t, std::string>>{
                        {"New", {1, ""}},
                        {"Old", {0, "not in the last run"}},
                        {"Hand", {0, "not in the last run"}}}));
    EXPECT_EQ(preview.total().filesToCopy, 1);
    EXPECT_TRUE(preview.total().problems.empty());

    const auto run = r.run();
    EXPECT_EQ(run.final().missingFiles, 0);
    EXPECT_EQ(r.crate("New.crate"), Names{r.key("New/a.mp3")});
    EXPECT_TRUE(fs::exists(r.root / "Subcrates" / "Empty.crate"));
    for (const char* gone :
         {"Subcrates/Old.crate", "Subcrates/Hand.crate", "SmartCrates/Gone.scrate"})
        EXPECT_FALSE(fs::exists(r.root / gone)) << gone;
    EXPECT_TRUE(fs::exists(r.root / "SmartCrates" / "Hits.scrate"));
    EXPECT_FALSE(fs::exists(r.audio / "Old"));
    EXPECT_FALSE(fs::exists(r.audio / "Hand"));
    EXPECT_TRUE(fs::exists(r.backup / "Old" / "a.mp3"));
    EXPECT_TRUE(run.logged("Left in the backup, not in the last run: Old"));
    EXPECT_EQ(r.crateOrder(),
              "[begin record]\n[crate]Empty\n[crate]Hits\n[crate]New\n[end record]\n");
}

// A backup stores names Windows refuses under safe names; a restore gives each name back
// where the target takes it and no other name of its folder would be taken for it, and keeps
// the safe name otherwise. Either way the crate points at the file as restored, and a crate
// saved under its own name is found for its folder.
TEST(RestoreEngine, GivesBackTheNamesTheBackupStoredUnderSafeNames) {
    MORROWDECK_SKIP_ON_WINDOWS("no source file there can carry a name Windows refuses");
    const std::string why = "AC\uFF1ADC/Why\uFF1F.mp3";
    enum class Target { accepting, refusing, exfat };
    for (const Target kind : {Target::accepting, Target::refusing, Target::exfat}) {
        SCOPED_TRACE(static_cast<int>(kind));
        Restore r;
        // exFAT refuses "?" and ":" for itself.
        std::optional<test::ExfatFuseMount> drive;
        if (kind == Target::exfat) {
            drive.emplace(r.dir / "exfat.img", r.audio);
            if (!drive->skipReason().empty()) GTEST_SKIP() << drive->skipReason();
        }
        const bool refusing = kind != Target::accepting;
        const fs::path music = r.dir / "Music";
        for (const char* name : {"Why?.mp3", "CON.mp3", "b.mp3"})
            test::writeFile(music / name, name);
        const auto track = [&](const char* name) { return test::text(music / name); };
        test::runBackup({test::makeCrate({"AC:DC"}, {track("Why?.mp3"), track("CON.mp3")}),
                         test::makeCrate({"ac:dc"}, {track("b.mp3")})},
                        r.backup);
        ASSERT_TRUE(fs::exists(r.backup / why));
        // The crate's own file, saved under the crate's name, lists its tracks in its order.
        test::writeFile(r.backup / ".morrowdeck" / "Subcrates" / "AC:DC.crate",
                        CrateWriter::crateData({test::volumePath(track("CON.mp3")),
                                                test::volumePath(track("Why?.mp3"))}));
        if (kind == Target::refusing)
            r.nameCheck = [](const fs::path&, const std::string& name) {
                return name.find_first_of("?:") == std::string::npos;
            };
        const auto run = r.run(ExistingFiles::replace, false);
        EXPECT_EQ(run.final().failedFiles, 0);
        EXPECT_EQ(run.final().copiedFiles, 3 + 2);
        // The names that keep their stored form are told once, the folder of ac:dc always.
        std::vector<std::string> told;
        for (const auto& entry : run.log)
            if (entry.message.find(" keep the safe form ") != std::string::npos)
                told.push_back(entry.message);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_TRUE(told[0].starts_with(refusing ? "3 names " : "1 name ")) << told[0];

        // Crate paths are relative to the volume of the library, not of the drive.
        const std::string volume = SeratoLibrary::volumeMountPrefix(r.dir / "");
        const auto key = [&](const std::string& relPath) {
            return test::text(r.audio / relPath).substr(volume.size() + 1);
        };
        const std::string folder = refusing ? "AC\uFF1ADC" : "AC:DC";
        const std::string file = folder + (refusing ? "/Why\uFF1F.mp3" : "/Why?.mp3");
        EXPECT_EQ(test::readText(r.audio / file), "Why?.mp3");
        EXPECT_EQ(r.crate("AC:DC.crate"), (Names{key(folder + "/CON.mp3"), key(file)}));
        // Its own name would be taken for the folder of AC:DC.
        EXPECT_EQ(r.crate("ac:dc.crate"), Names{key("\u201Bac\uFF1Adc/b.mp3")});
        std::set<std::string> restored;
        for (const auto& item : fs::recursive_directory_iterator(r.audio))
            restored.insert(test::text(fs::relative(item.path(), r.audio)));
        EXPECT_EQ(restored, (std::set<std::string>{folder, folder + "/CON.mp3", file,
                                                   "\u201Bac\uFF1Adc", "\u201Bac\uFF1Adc/b.mp3",
                                                   notesFile}));
    }
}

// Every file the restore writes besides the audio: one that cannot be written is a failure
// with a line naming it, and the run is no success.
// The backup's copy of a file is checked against the manifest before it takes the
// destination's name: a damaged one is named and counted and leaves the destination as it was,
// also when the destination already holds the right content; a destination holding the right
// content is not rewritten.
TEST(RestoreEngine, DamagedCopiesNeverReplaceTheDestination) {
    const struct {
        const char* name;
        const char* backedUp;  // the content the manifest lists
        const char* inBackup;  // the content the backup holds now
        const char* there;     // at the destination before the run (nullptr: nothing)
        const char* after;     // at the destination after the run (nullptr: nothing)
        bool damaged;
    } cases[] = {
        {"good.mp3", "good", "good", nullptr, "good", false},
        {"new.mp3", "flopped", "flipped", nullptr, nullptr, true},
        {"right.mp3", "flopped", "flipped", "flopped", "flopped", true},
        {"other.mp3", "flopped", "flipped", "older", "older", true},
        {"same.mp3", "same", "same", "same", "same", false},
    };
    Restore r;
    BackupManifest manifest;
    std::map<std::string, std::uint64_t> inodes;
    for (const auto& c : cases) {
        const std::string file = std::string("House/") + c.name;
        r.audioFile(file, c.inBackup);
        const std::string_view content = c.backedUp;
        ContentHasher hasher;
        hasher.update({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
        manifest.entries[file] = {static_cast<std::int64_t>(content.size()), {}, hasher.digest()};
        if (c.there) {
            test::writeFile(r.audio / file, c.there);
            inodes[c.name] = platform::fileInfo(r.audio / file)->inode;
        }
    }
    test::writeFile(BackupManifest::fileOf(r.backup), manifest.encode());

    const auto run = r.run();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dest = r.audio / "House" / c.name;
        if (c.after) {
            EXPECT_EQ(test::readText(dest), c.after);
        } else {
            EXPECT_FALSE(fs::exists(dest));
        }
        if (c.there && c.after && std::string_view(c.there) == c.after) {  // not rewritten
            EXPECT_EQ(platform::fileInfo(dest)->inode, inodes[c.name]);
        }
        EXPECT_EQ(run.logged("Damaged in the backup: House/" + std::string(c.name) +
                             " \u2014 its content differs from when it was backed up; left " +
                             test::text(dest) + " as it was."),
                  c.damaged);
    }
    // No temporary copy is left behind: only the four files that are there.
    EXPECT_EQ(std::distance(fs::directory_iterator(r.audio / "House"), {}), 4);
    EXPECT_EQ(run.final().copiedFiles, 2);  // good.mp3 and the crate
    EXPECT_EQ(run.final().skippedFiles, 1);
    EXPECT_EQ(run.final().failedFiles, 0);
    EXPECT_EQ(run.final().damagedFiles, 3);
    // The time left is estimated from all the audio to copy, less what is kept.
    EXPECT_EQ(run.final().bytesToCopy, 4 + 7 + 7 + 7 + 4);
    EXPECT_EQ(run.final().skippedBytes, 4);  // same.mp3
    EXPECT_EQ(restoreStatusMessage(run.final(), true), "Restore finished with 3 damaged file(s).");
    EXPECT_EQ(run.log.back().level, Level::warning);  // a damaged file is no success
}

TEST(RestoreEngine, FilesThatCannotBeWrittenAreFailures) {
    const std::string longName(250, 'n');
    const struct {
        const char* blocked;  // made a folder with a file inside, below the Serato folder
        std::string line;     // the start of the error line
    } cases[] = {
        // A folder in the way of a file the restore merges into cannot be read either.
        {"database V2", "Couldn't read the existing "},
        {"neworder.pref", "Couldn't read the existing "},
        {".morrowdeck/apply.json", "Couldn't read the existing "},
        {"", "Couldn't write "},  // a crate name over the 255-byte limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.blocked);
        Restore r;
        r.audioFile((*c.blocked ? "C" : longName) + "/a.mp3");
        test::writeFile(r.backup / ".morrowdeck" / "serato.json",
                        R"({"assets": {}, "smartCrates": [{"name": "T", "rules": "r"}]})");
        if (*c.blocked) test::writeFile(r.root / c.blocked / "in the way", "x");
        const auto run = r.run();
        EXPECT_EQ(run.final().failedFiles, 1);
        EXPECT_TRUE(std::any_of(run.log.begin(), run.log.end(), [&](const LogEntry& entry) {
            return entry.level == Level::error && entry.message.starts_with(c.line);
        }));
        EXPECT_EQ(run.log.back().level, Level::warning);
    }
}

// Saved records, ratings, crates and crate order too large to read (a sparse or damaged file)
// are skipped with a warning naming them; a smart crate too large to read is a failed file
// named in its line. The rest of the restore goes on.
TEST(RestoreEngine, OversizedMetadataIsSkipped) {
    Restore r;
    r.audioFile("C/a.mp3");
    const fs::path saved = r.backup / ".morrowdeck";
    BackupCatalog catalog;
    catalog.tracks = {{"C/a.mp3", "Music/a.mp3"}};
    test::writeFile(saved / "catalog.json", catalog.encode());
    const std::pair<fs::path, std::uintmax_t> oversized[] = {
        {saved / "library.dbsnap", 3ull << 30},
        {saved / "serato.json", maxMetadataBytes + 1},
        {saved / "Subcrates" / "C.crate", maxCrateBytes + 1},
        {saved / "neworder.pref", maxCrateBytes + 1},
    };
    for (const auto& [file, size] : oversized)
        test::writeSparseFile(file, size);
    const fs::path smart = r.backup / "Smart Crates" / "Big.scrate";
    test::writeSparseFile(smart, 8ull << 30);
    const auto run = r.run();
    for (const auto& [file, size] : oversized)
        EXPECT_TRUE(run.logged("Skipped " + test::text(file) + ": it is larger than the " +
                               (size > maxMetadataBytes ? "500 MB" : "64 MB") +
                               " such a file can be; going on without it."))
            << file;
    EXPECT_TRUE(run.logged("Restore failed: Big.scrate \u2014 couldn't read " + test::text(smart) +
                           ": it is larger than the 64 MB such a file can be"));
    EXPECT_EQ(run.final().failedFiles, 1);
    EXPECT_EQ(r.crate("C.crate"), Names{r.key("C/a.mp3")});
}

// A library file the restore would replace but cannot read (too large, a folder) is left
// exactly as it is: a failed step with a line naming it, never a file of only the restored
// tracks.
TEST(RestoreEngine, UnreadableLibraryFilesAreNeverReplaced) {
    Restore r;
    r.audioFile("C/a.mp3");
    r.audioFile("Smart Crates/Big.scrate", "scrate");
    const std::string folderReason = platform::errorText(EISDIR);
    const struct {
        fs::path file;
        std::uintmax_t sparseSize;  // 0: a folder
        std::string reason;
    } cases[] = {
        {r.root / "database V2", 600'000'000, "it is larger than the 500 MB such a file can be"},
        {r.root / "neworder.pref", maxCrateBytes + 1, "it is larger than the 64 MB such a file can be"},
        {r.root / "Subcrates" / "C.crate", 0, folderReason},
        {r.root / "SmartCrates" / "Big.scrate", 0, folderReason},
    };
    std::vector<fs::file_time_type> dates;
    for (const auto& c : cases) {
        if (c.sparseSize == 0)
            fs::create_directories(c.file);
        else
            test::writeSparseFile(c.file, c.sparseSize);
        dates.push_back(fs::last_write_time(c.file));
    }

    const auto run = r.run();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(test::text(c.file));
        EXPECT_TRUE(run.logged("Couldn't read the existing " + test::text(c.file) + " (" +
                               c.reason +
                               "): left it as it is; move it away or repair it and restore "
                               "again."));
        EXPECT_EQ(fs::last_write_time(c.file), dates[i]);
        if (c.sparseSize == 0) {
            EXPECT_TRUE(fs::is_directory(c.file));
        } else {
            EXPECT_EQ(fs::file_size(c.file), c.sparseSize);
        }
    }
    for (const auto& c : cases)
        EXPECT_EQ(r.runs().back().find(c.file), nullptr) << c.file;  // untouched, not recorded
    // Neither the end line nor the notes speak of a database that was not written.
    EXPECT_NE(run.log.back().message.find(" 0 track record(s)."), std::string::npos);
    EXPECT_EQ(test::readText(r.audio / test::pathOf(notesFile)).find("Your library was rebuilt"),
              std::string::npos);
    EXPECT_EQ(run.final().failedFiles, static_cast<std::int64_t>(std::size(cases)));
    EXPECT_EQ(run.log.back().level, Level::warning);
}

// A running Serato refuses the restore and nothing is created; where the system cannot tell
// whether it runs, the restore goes on and says so.
TEST(RestoreEngine, RefusedWhileSeratoRunsAndGoesOnWhenNobodyCanTell) {
    if (!test::processFolderRead()) GTEST_SKIP() << test::processFolderUnread();
    Restore r;
    r.audioFile("C/a.mp3");
    if (platform::backend().listsProcesses) {
        r.proc = test::fakeProc(r.dir / "proc", {{"Serato DJ Pro", "/opt/Serato DJ Pro"}});
        EXPECT_EQ(r.run().failure(), "Quit Serato completely first, then try again.");
        EXPECT_FALSE(fs::exists(r.serato));
        EXPECT_FALSE(fs::exists(r.audio));
    }
    r.proc = r.dir / "no process table";
    const auto run = r.run();
    EXPECT_EQ(run.failure(), "");
    EXPECT_TRUE(fs::exists(r.audio / "C" / "a.mp3"));
    EXPECT_TRUE(std::any_of(run.log.begin(), run.log.end(), [](const LogEntry& line) {
        return line.level == Level::warning && line.message == RestoreTexts::seratoStateUnknown;
    }));
    if (!platform::backend().listsProcesses) GTEST_SKIP() << "this backend lists no processes";
}

// A folder that is no backup creates nothing; an unwritable folder is the one named.
TEST(RestoreEngine, StartChecks) {
    Restore r;
    fs::create_directories(r.backup / "Empty");
    EXPECT_EQ(r.run().failure(), "No backup found at " + test::text(r.backup) +
                                     " \u2014 it holds no crate folders, smart crates or backup "
                                     "metadata.");
    EXPECT_FALSE(fs::exists(r.serato));
    EXPECT_FALSE(fs::exists(r.audio));

    r.audioFile("C/a.mp3");

    test::TmpfsMount readOnly(r.dir / "ro", "ro,size=64k");
    if (!readOnly.ok()) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    r.audio = r.dir / "ro";
    EXPECT_EQ(r.run().failure(), "The destination " + test::text(r.audio) + " is not writable.");
}

// A cancelled restore keeps what it wrote and writes no crate order, database or notes.
TEST(RestoreEngine, Cancellation) {
    const struct {
        const char* at;
        bool crateFile;
    } cases[] = {{"Restoring crates\u2026", false}, {"Restoring smart crates\u2026", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at);
        Restore r;
        r.audioFile("House/a.mp3");
        r.audioFile("Techno/b.mp3");
        test::writeFile(r.backup / "Smart Crates" / "Techno.scrate", "rules");
        const auto run =
            r.run(ExistingFiles::replace, true, [&](RestoreEngine& engine, const LogEntry& entry) {
                if (entry.message == c.at) engine.cancel();
            });
        EXPECT_TRUE(run.final().cancelled);
        EXPECT_EQ(run.final().completedFiles, c.crateFile ? 4 : 0);
        EXPECT_EQ(fs::exists(r.root / "Subcrates" / "House.crate"), c.crateFile);
        EXPECT_EQ(fs::exists(r.audio / "House" / "a.mp3"), c.crateFile);
        for (const auto& unwritten :
             {r.root / "SmartCrates" / "Techno.scrate", r.root / "neworder.pref",
              r.root / "database V2", r.audio / test::pathOf(notesFile)})
            EXPECT_FALSE(fs::exists(unwritten)) << unwritten;
        EXPECT_EQ(run.log.back().message, "Restore cancelled.");
        EXPECT_EQ(run.log.back().level, Level::warning);
    }
}

Bytes savedRecord(const std::string& title) {
    return SeratoDatabase::chunk("tsng", text::encodeUtf16BE(title));
}

// Two tracks with saved records, one without.
struct Rebuild : Restore {
    Rebuild() {
        audioFile("B/x.mp3");
        audioFile("a/x.mp3");
        audioFile("a/y.mp3");
        test::writeFile(backup / ".morrowdeck" / "library.dbsnap",
                        SeratoDatabase::snapshot(
                            {{"B/x.mp3", savedRecord("B")}, {"a/x.mp3", savedRecord("A")}}));
    }
};

TEST(DatabaseRebuild, SavedRecordsFirstThenTags) {
    Rebuild r;
    test::writeFile(r.root / "database V2", "the user's own database");
    fs::last_write_time(r.backup / "a" / "y.mp3",
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 80));
    test::writeFile(
        r.backup / ".morrowdeck" / "serato.json",
        R"({"assets": {"B/x.mp3": {"rating": 0.4, "color": -1e30}, "gone/z.mp3": {"color": 1},
                       "a/y.mp3": {"fields": {"comments": "Peak", "type_specific_data": {"hex": "ff"}}}},
                        "smartCrates": [{"name": "Techno", "rules": "r"}]})");
    const auto run = r.run();
    EXPECT_TRUE(
        run.logged("Found library snapshot \u2014 restoring full metadata for 2 track(s)."));
    EXPECT_TRUE(run.logged("Rebuilding Serato database\u2026"));
    EXPECT_TRUE(
        run.log.back().message.starts_with("Restored 2 crate(s), 0 smart crate(s), 3 track(s) in 3 "
                                           "crate entries, 3 track record(s)."));

    // Code-point order of the paths: ".../B/x.mp3" before ".../a/...".
    const auto records = r.database();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].record, SeratoDatabase::record(savedRecord("B"), r.key("B/x.mp3")));
    EXPECT_EQ(records[1].record, SeratoDatabase::record(savedRecord("A"), r.key("a/x.mp3")));
    EXPECT_EQ(records[2].path, r.key("a/y.mp3"));

    // The record built from the file: added = restore time, a pre-1970 mtime clamped at 0.
    std::map<std::string, Bytes> fields;
    SeratoDatabase::eachChunk(records[2].record,
                              [&](std::string_view tag, SeratoDatabase::ByteView payload) {
                                  fields.emplace(tag, Bytes(payload.begin(), payload.end()));
                              });
    EXPECT_EQ(fields["utme"], (Bytes{0, 0, 0, 0}));
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_LE(std::abs(static_cast<long long>(SeratoDatabase::readU32(fields["uadd"])) - now), 60);
    EXPECT_NE(test::readText(r.audio / test::pathOf(notesFile)).find("Your library was rebuilt"),
              std::string::npos);

    // Ratings and the database's other columns are staged for the apply step under the
    // restored paths; a bad value costs only itself.
    EXPECT_TRUE(run.logged(
        R"(serato.json: skipped the color of "B/x.mp3" (-1e+30: not a 64-bit whole number).)"));
    EXPECT_TRUE(run.logged(
        "Staged 1 rating/color record(s) and 1 rule(s) \u2014 finish with 'Apply to Serato'."));
    const auto json = nlohmann::json::parse(test::readText(r.root / ".morrowdeck" / "apply.json"));
    EXPECT_EQ(json["assets"],
              nlohmann::json({{r.key("B/x.mp3"), {{"rating", 0.4}}},
                              {r.key("a/y.mp3"),
                               {{"fields", {{"comments", "Peak"},
                                            {"type_specific_data", {{"hex", "ff"}}}}}}}}));
    EXPECT_EQ(json["smartCrates"].size(), 1u);

    // The database replaced is saved by the run that replaced it; with the option off
    // nothing is touched.
    EXPECT_EQ(r.savedBefore(r.runs().back(), r.root / "database V2"), "the user's own database");
    r.run();
    EXPECT_EQ(r.database().size(), 3u);
    test::writeFile(r.root / "database V2", "keep");
    const auto off = r.run(ExistingFiles::replace, false);
    EXPECT_TRUE(
        off.log.back().message.starts_with("Restored 2 crate(s), 0 smart crate(s), 3 track(s) in 3 "
                                           "crate entries, 0 track record(s)."));
    EXPECT_EQ(test::readText(r.root / "database V2"), "keep");
}

// Reading a backup folder back into crates: order, filters, links.
struct Scan {
    std::vector<RestoreEngine::CrateEntry> entries;
    std::vector<fs::path> scrates;
    explicit Scan(const fs::path& root) {
        RestoreEngine::scan(root, root, entries, scrates, {".morrowdeck", ".ORVEL_Store"});
    }

    std::vector<Names> components() const {
        std::vector<Names> out;
        for (const auto& entry : entries)
            out.push_back(entry.components);
        return out;
    }
    Names files(std::size_t index) const {
        Names out;
        for (const auto& file : entries.at(index).files)
            out.push_back(test::text(file.filename()));
        return out;
    }
};

TEST(BackupScan, PostOrderEntriesWithAudioOnly) {
    Restore r;
    for (const char* file : {"House/a.mp3", "House/Deep/b.MP3", "House/Deep/c.txt",
                             "song.mp3",  // lying in the backup folder itself
                             "Odd/noextension", "Odd/protected.m4p"})
        r.audioFile(file);
    fs::create_directories(r.backup / "Empty crate");
    // "Group" holds only sub-folders; its child's files come in code-point order.
    for (const char* name : {"B.mp3", "a.mp3", "Caf\xC3\xA9.wav", "10.ogg", "9.ogg"})
        r.audioFile("Group/Only/" + std::string(name));
    const Names formats{"mp3", "m4a",  "aac", "aif", "aiff", "aifc", "wav", "flac",
                        "ogg", "alac", "mp4", "wma", "wv",   "ofr",  "opus"};
    for (const auto& ext : formats)
        r.audioFile("Formats/x." + ext);
    const Scan scan(r.backup);

    auto components = scan.components();
    std::sort(components.begin(), components.end());
    EXPECT_EQ(components,
              (std::vector<Names>{{"Formats"}, {"Group", "Only"}, {"House"}, {"House", "Deep"}}));
    // Children before their parent, whatever the listing order of siblings.
    const auto position = [&](const Names& wanted) {
        const auto all = scan.components();
        return static_cast<std::size_t>(std::find(all.begin(), all.end(), wanted) - all.begin());
    };
    EXPECT_LT(position({"House", "Deep"}), position({"House"}));
    EXPECT_EQ(scan.files(position({"House", "Deep"})), Names{"b.MP3"});
    EXPECT_EQ(scan.files(position({"Group", "Only"})),
              (Names{"10.ogg", "9.ogg", "B.mp3", "Caf\xC3\xA9.wav", "a.mp3"}));
    EXPECT_EQ(scan.files(position({"Formats"})).size(), formats.size());  // every audio type
}

TEST(BackupScan, SmartCratesHiddenFoldersAndTheStore) {
    Restore r;
    for (const char* file :
         {"x.scrate", "Smart Crates/y.SCRATE", ".ORVEL_Store/Users/dj/a.mp3",
          ".morrowdeck/hidden.mp3", "ORVEL_Store/visible.mp3", "A/.ORVEL_Store/nested.mp3",
          ".dot crate/.t.mp3", ".dot crate/._.t.mp3", "B/._t.mp3", "B/.DS_Store"})
        r.audioFile(file);
    const Scan scan(r.backup);

    Names scrates;
    for (const auto& file : scan.scrates)
        scrates.push_back(test::text(file.filename()));
    std::sort(scrates.begin(), scrates.end());
    EXPECT_EQ(scrates, (Names{"x.scrate", "y.SCRATE"}));
    // Only the named folders of the backup folder itself are skipped; dot names are crates.
    auto components = scan.components();
    std::sort(components.begin(), components.end());
    EXPECT_EQ(components,
              (std::vector<Names>{{".dot crate"}, {"A", ".ORVEL_Store"}, {"ORVEL_Store"}}));
}

TEST(BackupScan, SymbolicLinks) {
    if (!test::makesSymlinks()) GTEST_SKIP() << "this system makes no symbolic links";
    Restore r;
    r.audioFile("AC/DC/t.mp3");
    fs::create_directory_symlink(r.backup, r.backup / "AC" / "loop");  // would recurse forever
    fs::create_directory_symlink(r.backup, r.dir / "Link to backup");
    fs::create_symlink(r.backup / "AC" / "DC" / "t.mp3", r.backup / "AC" / "linked.mp3");

    const Scan scan(r.dir / "Link to backup");
    // A linked file still counts as a file.
    EXPECT_EQ(scan.components(), (std::vector<Names>{{"AC", "DC"}, {"AC"}}));
    const Scan missing(r.dir / "nowhere");
    EXPECT_TRUE(missing.entries.empty() && missing.scrates.empty());
}

}  // namespace
}  // namespace morrowdeck
