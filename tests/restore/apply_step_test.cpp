// The apply step: every message it can give, and what it touches.
#include "restore/apply_step.h"

#include <gtest/gtest.h>

#include "library/bounded_read.h"
#include "platform/backend.h"
#include "platform/home_folder.h"
#include "platform/processes.h"
#include "restore/restore_texts.h"
#include "restore/undo_index.h"
#include "support/fake_proc.h"
#include "support/serato_sqlite.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;

using test::fakeProc;

struct ApplyStep : testing::Test {
    void stage(const std::string& json) {
        test::writeFile(library / ".morrowdeck" / "apply.json", json);
    }
    fs::path noSerato() { return fakeProc(dir / "proc", {{"bash", "/bin/bash"}}); }

    test::TempDir dir;
    test::ScopedHome home{dir / "home"};
    fs::path library = dir / "Music" / "_Serato_";
    fs::path master =
        dir / "home" / platform::applicationDataBelowHome() / "Serato/Library/master.sqlite";
    fs::path undo = library / ".morrowdeck-undo";
};

// Serato counts as running by its command name or its first argument's base name.
TEST_F(ApplyStep, RefusedWhileSeratoRuns) {
    if (!platform::backend().listsProcesses) GTEST_SKIP() << "this backend lists no processes";
    if (!test::processFolderRead()) GTEST_SKIP() << test::processFolderUnread();
    fs::create_directories(library);
    const struct {
        const char* comm;
        const char* argv0;
        bool running;
    } cases[] = {{"bash", "/bin/bash", false},
                 {"Serato DJ Pro", "/opt/x", true},
                 {"wine", "C:/Program Files/Serato/SERATO DJ Pro.exe", true},
                 {"sh", "/home/serato/bin/sh", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(applyToSerato(library, fakeProc(dir / c.comm, {{c.comm, c.argv0}})).message ==
                      "Quit Serato completely first, then try again.",
                  c.running)
            << c.comm;
    }
}

// A system that does not say whether Serato runs (here: no process table to read) lets the
// apply go on, with a warning first among its lines.
TEST_F(ApplyStep, GoesOnAndSaysSoWhenNobodyCanTellWhetherSeratoRuns) {
    if (!test::processFolderRead()) GTEST_SKIP() << test::processFolderUnread();
    test::SeratoSqlite db(master, test::SeratoSqlite::Schema::serato);
    db.addAsset("Users/dj/a.mp3", "NULL", "NULL", "NULL", "NULL");
    stage(R"({"assets": {"Users/dj/a.mp3": {"rating": 0.6}}, "smartCrates": []})");
    EXPECT_EQ(platform::seratoProcess(dir / "missing"), platform::SeratoProcess::unknown);
    const auto outcome = applyToSerato(library, dir / "missing");
    EXPECT_TRUE(outcome.applied) << outcome.message;
    ASSERT_FALSE(outcome.warnings.empty());
    EXPECT_EQ(outcome.warnings.front(), RestoreTexts::seratoStateUnknown);
}

TEST_F(ApplyStep, MessagesBeforeAnythingIsWritten) {
    fs::create_directories(library);
    stage("{not json");
    EXPECT_EQ(
        applyToSerato(library, noSerato()).message,
        "No staged data found. Run a Restore first (from a backup that captured ratings/rules).");
    test::writeSparseFile(library / ".morrowdeck" / "apply.json", maxMetadataBytes + 1);
    EXPECT_EQ(applyToSerato(library, noSerato()).message,
              "Couldn't read the staged data " +
                  test::text(library / ".morrowdeck" / "apply.json") +
                  ": it is larger than the 500 MB such a file can be.");
    stage(R"({"assets": {}, "smartCrates": []})");
    const auto missing =
        applyToSerato(library.parent_path(), noSerato());  // the parent resolves too
    EXPECT_EQ(missing.message,
              "Serato's database wasn't found. Open Serato once so it imports the restored "
              "library, then quit Serato "
              "and try again.");
    EXPECT_FALSE(fs::exists(undo));
}

// The database is saved before the apply changes it, with what only its -wal holds yet; each
// apply is its own run.
TEST_F(ApplyStep, AppliesAfterSavingTheDatabase) {
    test::SeratoSqlite db(master, test::SeratoSqlite::Schema::serato);
    db.exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    db.addAsset("Users/dj/Restored/House/a.mp3", "NULL", "NULL", "NULL", "2");
    db.addAsset("Users/dj/Restored/House/b.mp3", "NULL", "NULL", "NULL", "NULL");
    db.addSmartCrate(7, "Techno", "old rules");
    ASSERT_GT(fs::file_size(test::pathOf(test::text(master) + "-wal")),
              0u);  // not checkpointed: open here
    // The database's other columns are carried in the staged file and never written.
    stage(
        R"({"assets": {"Users/dj/Restored/House/a.mp3": {"rating": 0.6, "color": 255, "playCount": 9,
                 "fields": {"rating": 0.1, "comments": "Staged", "bpm": 140.0, "key": "Am"}},
              "Users/dj/Restored/House/b.mp3": {"fields": {"comments": "Other", "dj_play_count": 3}}},
              "smartCrates": [{"name": "Techno", "rules": "new rules"}]})");
    const auto first = applyToSerato(library, noSerato());
    EXPECT_TRUE(first.applied);
    EXPECT_EQ(
        first.message,
        "Applied 1 rating/color update(s) and 1 smart-crate rule(s). Reopen Serato to see them.");

    std::vector<UndoIndex> runs;
    for (const auto& item : fs::directory_iterator(undo))
        if (auto run = UndoIndex::read(item.path())) runs.push_back(std::move(*run));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].kind, UndoIndex::Kind::apply);
    EXPECT_TRUE(runs[0].finished);
    ASSERT_EQ(runs[0].entries.size(), 1u);
    const auto& entry = runs[0].entries[0];
    EXPECT_EQ(entry.path, master);
    EXPECT_EQ(entry.kind, UndoIndex::Entry::Kind::database);
    EXPECT_EQ(entry.action, UndoIndex::Entry::Action::replaced);
    EXPECT_TRUE(entry.after);
    test::SeratoSqlite saved(undo / runs[0].id / entry.saved, test::SeratoSqlite::Schema::existing);
    EXPECT_EQ(saved.scalar("SELECT dj_play_count FROM asset WHERE id = 1"), "2");
    EXPECT_EQ(db.scalar("SELECT dj_play_count FROM asset WHERE id = 1"), "9");
    EXPECT_EQ(db.scalar("SELECT rating || ' ' || color || ' [' || comments || '] ' || "
                        "quote(bpm) || ' [' || key || ']' FROM asset WHERE id = 1"),
              "0.6 255 [] NULL []");
    EXPECT_EQ(db.scalar("SELECT quote(dj_play_count) || ' [' || comments || ']' FROM asset "
                        "WHERE id = 2"),
              "NULL []");

    EXPECT_TRUE(applyToSerato(library, noSerato()).applied);
    EXPECT_EQ(std::distance(fs::directory_iterator(undo), fs::directory_iterator()), 2);
    EXPECT_TRUE(fs::exists(library / ".morrowdeck" / "apply.json"));  // the staged file stays
}

// Without its saved copy the database is not changed.
TEST_F(ApplyStep, ASaveThatFailsRefusesTheApply) {
    { test::SeratoSqlite db(master, test::SeratoSqlite::Schema::serato); }
    stage(R"({"assets": {}, "smartCrates": [{"name": "Techno", "rules": "new rules"}]})");
    test::writeFile(undo, "in the way");
    const auto before = test::readBytes(master);
    const auto outcome = applyToSerato(library, noSerato());
    EXPECT_FALSE(outcome.applied);
    EXPECT_TRUE(
        outcome.message.starts_with("Couldn't make the undo folder " + test::text(undo) + "/"))
        << outcome.message;
    EXPECT_TRUE(outcome.message.ends_with(": Not a directory. Nothing was applied."))
        << outcome.message;
    EXPECT_EQ(test::readBytes(master), before);
    EXPECT_TRUE(fs::is_regular_file(undo));
}

}  // namespace
}  // namespace morrowdeck
