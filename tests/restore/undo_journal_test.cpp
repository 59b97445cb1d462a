// The undo folder of a run: what a restore saves before it changes the library and the audio
// target, a save that fails stopping the run before its first write, the ten runs kept, and a
// run that died halfway still readable.
#include "restore/undo_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "engine/content_hash.h"
#include "restore/restore_engine.h"
#include "support/engine_harness.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Entry = UndoIndex::Entry;
using Kind = Entry::Kind;
using Action = Entry::Action;

struct Library {
    test::TempDir dir;
    fs::path backup = dir / "Backup";
    fs::path audio = dir / "Restored";
    fs::path serato = dir / "Library";
    fs::path root = serato / "_Serato_";
    fs::path undo = root / ".morrowdeck-undo";

    test::RunRecord restore() {
        RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
        return test::captureRun(engine,
                                [&](auto onLog, auto onProgress, auto completion) {
                                    engine.run(backup, audio, serato, ExistingFiles::replace, true,
                                               onLog, onProgress, completion);
                                },
                                {});
    }
    std::vector<UndoIndex> runs() const {
        std::vector<UndoIndex> found;
        for (const auto& item : fs::directory_iterator(undo))
            if (auto index = UndoIndex::read(item.path())) found.push_back(std::move(*index));
        return found;
    }
};

// Every file and folder below a folder with its content, to compare a tree before and after.
std::map<std::string, std::string> tree(const fs::path& folder) {
    std::map<std::string, std::string> items;
    if (!fs::exists(folder)) return items;
    for (const auto& item : fs::recursive_directory_iterator(folder))
        items[test::text(item.path())] = item.is_regular_file() ? test::readText(item.path()) : "/";
    return items;
}

ContentHash hashOf(const fs::path& file) {
    ContentHash hash;
    EXPECT_EQ(hashFile(file, hash), 0) << file;
    return hash;
}

// A restore into a library with crates, a database, a crate order and audio already at the
// target: each file it replaces is in the run folder byte for byte (the audio moved, not
// copied), each file and folder it creates is listed, and what it left is described.
TEST(UndoJournal, RestoreRecordsEveryChangeAndSavesWhatItReplaces) {
    Library l;
    test::writeFile(l.backup / "House" / "a.mp3", "new a");
    test::writeFile(l.backup / "House" / "b.mp3", "new b");
    test::writeFile(l.audio / "House" / "a.mp3", "old a");
    test::writeFile(l.root / "Subcrates" / "House.crate", "old crate");
    test::writeFile(l.root / "Subcrates" / "Other.crate", "left alone");
    test::writeFile(l.root / "database V2", "old database");
    test::writeFile(l.root / "neworder.pref", "old order");
    const auto before = test::fileIdentity(l.audio / "House" / "a.mp3");
    ASSERT_TRUE(before);

    const auto run = l.restore();
    ASSERT_EQ(run.final().failedFiles, 0) << run.log.back().message;
    const auto runs = l.runs();
    ASSERT_EQ(runs.size(), 1u);
    const UndoIndex& index = runs.front();
    const fs::path folder = l.undo / index.id;
    EXPECT_EQ(index.kind, UndoIndex::Kind::restore);
    EXPECT_TRUE(index.finished);
    EXPECT_FALSE(fs::exists(folder / "journal.jsonl"));  // the finished index says it all

    const struct {
        fs::path path;
        Kind kind;
        Action action;
        const char* saved;  // the content kept in the run folder; null for a created file
    } expected[] = {
        {l.root / "Subcrates" / "House.crate", Kind::serato, Action::replaced, "old crate"},
        {l.root / "database V2", Kind::serato, Action::replaced, "old database"},
        {l.root / "neworder.pref", Kind::serato, Action::replaced, "old order"},
        {l.audio / "House" / "a.mp3", Kind::audio, Action::replaced, "old a"},
        {l.audio / "House" / "b.mp3", Kind::audio, Action::created, nullptr},
        {l.audio / test::pathOf("Morrowdeck \u2014 Restore Notes.txt"), Kind::audio,
         Action::created, nullptr},
        {l.root / "SmartCrates", Kind::folder, Action::created, nullptr},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(test::text(e.path));
        const Entry* entry = index.find(e.path);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->kind, e.kind);
        EXPECT_EQ(entry->action, e.action);
        if (e.saved) {
            EXPECT_EQ(test::readText(folder / entry->saved), e.saved);
            ASSERT_TRUE(entry->before);
            EXPECT_EQ(entry->before->size, static_cast<std::int64_t>(std::string(e.saved).size()));
        } else {
            EXPECT_TRUE(entry->saved.empty());
        }
        if (e.kind != Kind::folder) {
            ASSERT_TRUE(entry->after && entry->after->hash);
            EXPECT_EQ(*entry->after->hash, hashOf(e.path));
            EXPECT_EQ(entry->after->size, static_cast<std::int64_t>(fs::file_size(e.path)));
        }
    }
    // The replaced track was moved, not copied: the same file, now in the run folder.
    EXPECT_EQ(test::fileIdentity(folder / index.find(l.audio / "House" / "a.mp3")->saved), before);
    // A crate file the run left alone is neither listed nor kept.
    EXPECT_EQ(index.find(l.root / "Subcrates" / "Other.crate"), nullptr);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "saved"), fs::directory_iterator()), 4);
    EXPECT_EQ(index.find(l.audio / "House"), nullptr);  // it was there already
}

// A save that cannot be made stops the restore before it writes anything, with the reason.
TEST(UndoJournal, ASaveThatFailsWritesNothing) {
    for (const bool fullDrive : {false, true}) {
        SCOPED_TRACE(fullDrive ? "full drive" : "a file named like the undo folder");
        Library l;
        test::writeFile(l.backup / "House" / "a.mp3", "new a");
        std::optional<test::TmpfsMount> drive;
        if (fullDrive) {
            drive.emplace(l.serato, "size=256k");
            if (!drive->ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
            // The database fits once, not twice.
            test::writeFile(l.root / "database V2", std::string(150'000, 'd'));
        } else {
            test::writeFile(l.root / "database V2", "old database");
            test::writeFile(l.undo, "in the way");
        }
        const auto treeBefore = tree(l.serato);

        const auto run = l.restore();
        EXPECT_TRUE(run.failure().starts_with("Couldn't ")) << run.failure();
        EXPECT_TRUE(run.failure().ends_with(" Nothing was restored.")) << run.failure();
        EXPECT_EQ(tree(l.serato), treeBefore);
        EXPECT_FALSE(fs::exists(l.audio));
    }
}

// A new run keeps the nine newest runs beside it and removes the older ones, saying so; a
// folder that is no run is never touched.
TEST(UndoJournal, KeepsTheNewestTenRuns) {
    test::TempDir dir;
    const fs::path undo = dir / ".morrowdeck-undo";
    std::uintmax_t oldBytes = 0;
    for (int i = 1; i <= 12; ++i) {
        UndoIndex index;
        index.startedNs = 1'700'000'000'000'000'000 + i * 1'000'000'000LL;
        index.id = UndoIndex::idFor(index.startedNs);
        index.finished = true;
        test::writeFile(undo / index.id / "index.json", index.toJson());
        test::writeFile(undo / index.id / "saved" / "1-a.crate", std::string(1000, 'x'));
        if (i <= 3) oldBytes += 1000 + fs::file_size(undo / index.id / "index.json");
    }
    test::writeFile(undo / "notes" / "mine.txt", "keep");
    test::writeFile(undo / "20200101T000000Z" / "index.json", "{ damaged");

    std::vector<std::string> notes;
    std::string error;
    const auto journal = UndoJournal::begin(
        dir.path(), UndoIndex::Kind::restore, [&](std::string line) { notes.push_back(line); }, error);
    ASSERT_TRUE(journal) << error;
    EXPECT_EQ(notes, std::vector<std::string>{"Removed 3 old undo record(s), " +
                                              std::to_string(oldBytes / 1000) + " KB freed."});
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(undo))
        left.push_back(test::text(item.path().filename()));
    std::sort(left.begin(), left.end());
    ASSERT_EQ(left.size(), 12u);  // 9 old runs, the new one, and the two that are no runs
    EXPECT_EQ(left.front(), "20200101T000000Z");
    EXPECT_EQ(left[1], UndoIndex::idFor(1'700'000'000'000'000'000 + 4'000'000'000LL));
    EXPECT_EQ(left.back(), "notes");
}

// A run that dies before its last index still names every change it made, from its journal.
TEST(UndoJournal, ARunKilledHalfwayIsStillReadable) {
    test::TempDir dir;
    test::writeFile(dir / "neworder.pref", "old order");
    std::string error;
    auto journal = UndoJournal::begin(dir.path(), UndoIndex::Kind::restore, {}, error);
    ASSERT_TRUE(journal) << error;
    ASSERT_EQ(journal->save(dir / "neworder.pref", Kind::serato), "");
    test::writeFile(dir / "neworder.pref", "new order");
    journal->wrote(dir / "neworder.pref", Kind::serato);
    ASSERT_EQ(journal->createFolder(dir / "Subcrates" / "Deep"), 0);
    // What a killed process leaves: the first index, the journal and a torn last line.
    const fs::path killed = dir / "killed";
    fs::create_directories(killed);
    for (const char* name : {"index.json", "journal.jsonl"})
        fs::copy_file(journal->folder() / name, killed / name);
    {
        std::ofstream torn(killed / "journal.jsonl", std::ios::app);
        torn << R"({"path": "/half)";
    }
    const auto index = UndoIndex::read(killed);
    ASSERT_TRUE(index);
    EXPECT_FALSE(index->finished);
    ASSERT_EQ(index->entries.size(), 3u);
    EXPECT_EQ(index->entries[0].action, Action::replaced);
    EXPECT_TRUE(index->entries[0].after);
    EXPECT_EQ(test::readText(journal->folder() / index->entries[0].saved), "old order");
    EXPECT_EQ(index->entries[1].path, dir / "Subcrates");
    EXPECT_EQ(index->entries[2].path, dir / "Subcrates" / "Deep");
}

}  // namespace
}  // namespace morrowdeck
