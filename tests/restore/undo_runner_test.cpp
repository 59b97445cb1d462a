// Undo: a library comes back exactly as it was before a run, a file changed since is not
// overwritten unasked, runs go back newest first, and anything wrong found by the checks
// refuses the undo before a single file changes.
#include "restore/undo_runner.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>

#include "library/sqlite_copy.h"
#include "platform/backend.h"
#include "platform/file_operations.h"
#include "restore/restore_texts.h"
#include "support/fake_proc.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Entry = UndoIndex::Entry;

UndoIndex::Content contentOf(const fs::path& file) {
    ContentHash hash;
    EXPECT_EQ(hashFile(file, hash), 0) << file;
    const auto info = platform::fileInfo(file);
    return {info->size, info->mtime.time_since_epoch().count(), hash};
}

// Every file and folder under a root but the undo folder, with the files' bytes.
std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> items;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        if (it->path().filename() == UndoIndex::folderName) it.disable_recursion_pending();
        const auto bytes = it->is_regular_file() ? test::readBytes(it->path()) : std::vector<std::uint8_t>{};
        items[test::text(fs::relative(it->path(), root))] =
            std::string(bytes.begin(), bytes.end()) + (it->is_directory() ? "/" : "");
    }
    return items;
}

// A library under a temporary folder and the runs "made" on it, the way a restore records
// them: the file saved (copied, or moved for audio), then written, then its entry.
struct Library {
    test::TempDir dir;
    fs::path serato = dir / "_Serato_";
    UndoRunner runner{serato};

    struct Run {
        fs::path folder;
        UndoIndex index;
        void save() const { test::writeFile(folder / "index.json", index.toJson()); }
    };
    Run begin(const std::string& id, std::int64_t startedNs) {
        Run run{serato / UndoIndex::folderName / id, {}};
        run.index.id = id;
        run.index.startedNs = startedNs;
        run.index.finished = true;
        fs::create_directories(run.folder);
        return run;
    }
    static void replace(Run& run, const fs::path& file, const std::string& text,
                        Entry::Kind kind = Entry::Kind::serato) {
        const std::string saved = "files/" + std::to_string(run.index.entries.size());
        fs::create_directories(run.folder / "files");
        if (kind == Entry::Kind::audio) fs::rename(file, run.folder / saved);
        else fs::copy_file(file, run.folder / saved);
        test::writeFile(file, text);
        run.index.entries.push_back({file, kind, Entry::Action::replaced, saved,
                                     contentOf(run.folder / saved), contentOf(file)});
        run.save();
    }
    static void create(Run& run, const fs::path& file, const std::string& text,
                       Entry::Kind kind = Entry::Kind::serato) {
        for (fs::path folder = file.parent_path(); !fs::exists(folder); folder = folder.parent_path())
            run.index.entries.push_back({folder, Entry::Kind::folder, Entry::Action::created, "", {}, {}});
        test::writeFile(file, text);
        run.index.entries.push_back({file, kind, Entry::Action::created, "", {}, contentOf(file)});
        run.save();
    }
};

TEST(UndoRunner, PutsTheLibraryBackExactlyAndMarksTheRunUndone) {
    Library lib;
    const fs::path crate = lib.serato / "Subcrates" / "A.crate", v2 = lib.serato / "database V2";
    const fs::path track = lib.dir / "Music" / "t.mp3";
    test::writeFile(crate, std::string("crate\0A", 7));
    test::writeFile(v2, "v2 before");
    test::writeFile(track, "audio before");
    test::writeFile(lib.serato / UndoIndex::folderName / "notes" / "x", "not a run");
    const auto before = tree(lib.dir.path());

    auto run = lib.begin("20261208T043512Z", 10);
    Library::replace(run, crate, "crate after");
    Library::replace(run, v2, "v2 after");
    Library::replace(run, track, "audio after", Entry::Kind::audio);
    Library::create(run, lib.serato / "Subcrates" / "B.crate", "new crate");
    Library::create(run, lib.dir / "Music" / "New" / "Deep" / "n.mp3", "copied", Entry::Kind::audio);

    const auto plan = lib.runner.plan("", false);
    EXPECT_FALSE(plan.refused()) << plan.refusal;
    EXPECT_EQ(plan.confirmationLines().front(),
              "Undo run 20261208T043512Z: put back 3 file(s), remove 2 file(s) and up to 2 "
              "folder(s) the run created.");
    const auto outcome = lib.runner.undo("", false);
    EXPECT_EQ(outcome.message, "Undid run 20261208T043512Z: 3 file(s) put back, 2 removed.");
    EXPECT_EQ(tree(lib.dir.path()), before);
    EXPECT_EQ(test::readBytes(lib.serato / UndoIndex::folderName / "notes" / "x").size(), 9u);
    EXPECT_FALSE(fs::exists(lib.serato / ".morrowdeck.lock"));

    const auto runs = lib.runner.runs();
    ASSERT_EQ(runs.size(), 1u);  // the folder without an index is no run
    EXPECT_TRUE(runs[0].undone);
    EXPECT_EQ(runs[0].files, 5u);
    EXPECT_EQ(lib.runner.plan("", false).refusal,
              "Nothing to undo: every saved run is undone already.");
}

// What each kind of file becomes when it changed since the run, or when the run died before
// recording what it wrote, with and without force.
TEST(UndoRunner, FilesChangedSinceTheRunNeedForceAndChangedAudioIsKept) {
    Library lib;
    const fs::path crate = lib.serato / "A.crate", pref = lib.serato / "neworder.pref";
    const fs::path same = lib.serato / "same.crate", made = lib.serato / "made.crate";
    const fs::path copied = lib.dir / "Music" / "c.mp3", unrecorded = lib.dir / "Music" / "u.mp3";
    for (const auto& file : {crate, pref, same}) test::writeFile(file, "before");
    fs::create_directories(lib.dir / "Music");
    auto run = lib.begin("20261208T043512Z", 10);
    Library::replace(run, crate, "run");
    Library::replace(run, pref, "run");
    Library::replace(run, same, "run");
    Library::create(run, made, "run");
    Library::create(run, copied, "run", Entry::Kind::audio);
    Library::create(run, unrecorded, "run", Entry::Kind::audio);
    // The run died before recording these writes; `same` was never written after all.
    for (auto& entry : run.index.entries)
        if (entry.path == pref || entry.path == same || entry.path == unrecorded) entry.after.reset();
    run.save();
    test::writeFile(same, "before");
    test::writeFile(crate, "Serato's edit");  // changed since: needs force
    test::writeFile(copied, "retagged");      // changed since: always kept

    const auto refused = lib.runner.undo("", false);
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.message, "1 file(s) changed since run 20261208T043512Z; they are not "
                               "overwritten without force. Nothing was changed.");
    ASSERT_EQ(refused.lines.size(), 1u);
    EXPECT_EQ(refused.lines[0].message, "Changed since the run: " + test::text(crate));
    EXPECT_EQ(test::readBytes(pref).size(), 3u);  // still the run's

    const auto forced = lib.runner.undo("", true);
    EXPECT_EQ(forced.message, "Undid run 20261208T043512Z: 2 file(s) put back, 1 removed, "
                              "2 changed audio file(s) kept.");
    for (const auto& file : {crate, pref, same}) EXPECT_EQ(test::readBytes(file).size(), 6u) << file;
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(copied) && fs::exists(unrecorded));
}

TEST(UndoRunner, RunsGoBackNewestFirst) {
    Library lib;
    const fs::path a = lib.serato / "A.crate", b = lib.serato / "B.crate";
    test::writeFile(a, "0");
    test::writeFile(b, "0");
    auto first = lib.begin("20261208T043512Z", 10);
    Library::replace(first, a, "1");
    Library::create(first, lib.serato / "New" / "x.crate", "1");
    auto second = lib.begin("20261208T043512Z-2", 10);
    Library::replace(second, a, "2");
    auto third = lib.begin("20261209T000000Z", 20);
    Library::replace(third, b, "3");
    auto fourth = lib.begin("20261210T000000Z", 30);
    Library::create(fourth, lib.serato / "New" / "y.crate", "4");
    fourth.index.undone = true;
    fourth.save();
    fs::remove(lib.serato / "New" / "y.crate");

    EXPECT_EQ(lib.runner.plan("", false).runId, "20261209T000000Z");
    EXPECT_EQ(lib.runner.undo("20261208T043512Z", false).message,
              "Undo run 20261208T043512Z-2 first: it changed " + test::text(a) +
                  " after run 20261208T043512Z.");
    // A later run's file inside a folder this run created holds that folder.
    auto fifth = lib.begin("20261211T000000Z", 40);
    Library::create(fifth, lib.serato / "New" / "z.crate", "5");
    EXPECT_EQ(lib.runner.undo("20261208T043512Z-2", false).failed, 0);
    EXPECT_NE(lib.runner.plan("20261208T043512Z", false).refusal.find("Undo run 20261211T000000Z first"),
              std::string::npos);
    for (const char* id : {"20261211T000000Z", "20261208T043512Z"})
        EXPECT_EQ(lib.runner.undo(id, false).failed, 0) << id;
    EXPECT_EQ(test::readBytes(a).size(), 1u);
    EXPECT_EQ(test::readBytes(a)[0], '0');
    EXPECT_FALSE(fs::exists(lib.serato / "New"));
    EXPECT_EQ(test::readBytes(b)[0], '3');  // the third run is still in place
}

int exec(const fs::path& file, const char* sql, std::string* rows = nullptr) {
    sqlite3* db = nullptr;
    sqlite3_open(test::text(file).c_str(), &db);
    const int result = sqlite3_exec(
        db, sql,
        [](void* out, int, char** values, char**) {
            if (out) *static_cast<std::string*>(out) += values[0];
            return 0;
        },
        rows, nullptr);
    sqlite3_close(db);
    return result;
}

TEST(UndoRunner, PutsADatabaseBackThroughSqlite) {
    Library lib;
    const fs::path live = lib.dir / "master.sqlite";
    ASSERT_EQ(exec(live, "PRAGMA journal_mode=WAL; CREATE TABLE t(v); INSERT INTO t VALUES('a');"), SQLITE_OK);
    auto run = lib.begin("20261208T043512Z", 10);
    fs::create_directories(run.folder / "files");
    ASSERT_EQ(copySqliteDatabase(live, run.folder / "files/db"), "");
    // Recorded by its rows, as the journal records a database.
    const auto before = UndoIndex::databaseContent(run.folder / "files/db");
    ASSERT_EQ(exec(live, "UPDATE t SET v='applied';"), SQLITE_OK);
    run.index.entries.push_back({live, Entry::Kind::database, Entry::Action::replaced, "files/db",
                                 before, UndoIndex::databaseContent(live)});
    run.save();
    // A saved copy that is no database, or holds other rows than it did, refuses the undo.
    fs::rename(run.folder / "files/db", run.folder / "good");
    test::writeFile(run.folder / "files/db", std::string(4096, 'x'));
    EXPECT_NE(lib.runner.undo("", false).message.find("saved copy is damaged"), std::string::npos);
    fs::remove(run.folder / "files/db");
    ASSERT_EQ(copySqliteDatabase(live, run.folder / "files/db"), "");
    EXPECT_NE(lib.runner.undo("", false).message.find("saved copy is damaged"), std::string::npos);
    fs::remove(run.folder / "files/db");
    fs::rename(run.folder / "good", run.folder / "files/db");
    // A reader holds the database open in WAL mode while the undo writes it.
    sqlite3* reader = nullptr;
    sqlite3_open(test::text(live).c_str(), &reader);
    ASSERT_EQ(sqlite3_exec(reader, "SELECT * FROM t;", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(lib.runner.undo("", false).putBack, 1);
    sqlite3_close(reader);
    std::string rows;
    exec(live, "SELECT v FROM t;", &rows);
    EXPECT_EQ(rows, "a");
}

// Whatever the checks find wrong, the undo is refused and no file of the library changes.
TEST(UndoRunner, ProblemsFoundByTheChecksChangeNothing) {
    const std::pair<const char*, std::function<void(Library&, Library::Run&)>> cases[] = {
        {"Quit Serato completely first",
         [](Library& lib, Library::Run&) {
             lib.runner.setProcessTable(test::fakeProc(lib.dir / "proc", {{"Serato DJ Pro", "x"}}));
         }},  // on a backend that lists processes only
        {"saved copy is missing", [](Library&, Library::Run& run) { fs::remove(run.folder / "files/0"); }},
        {"saved copy is damaged", [](Library&, Library::Run& run) { test::writeFile(run.folder / "files/0", "bad!"); }},
        {"outside the undo folder",
         [](Library& lib, Library::Run& run) {
             test::writeFile(lib.dir / "elsewhere", "0");
             fs::remove(run.folder / "files/0");
             ASSERT_TRUE(test::makeSymlink(lib.dir / "elsewhere", run.folder / "files/0"));
         }},
        {"is damaged: it names",
         [](Library& lib, Library::Run& run) {
             run.index.entries.push_back({lib.serato / ".." / "x", Entry::Kind::serato,
                                          Entry::Action::created, "", {}, {}});
         }},
        {"its folder is not writable",
         [](Library& lib, Library::Run& run) {
             fs::remove_all(lib.serato / "Sub");
             test::writeFile(lib.serato / "Sub", "a file where the folder was");
             run.index.entries[1].after.reset();
         }},
    };
    const bool listsProcesses = platform::backend().listsProcesses && test::processFolderRead();
    for (const auto& [why, damage] : cases) {
        if (why == std::string_view("Quit Serato completely first") && !listsProcesses) continue;
        if (why == std::string_view("outside the undo folder") && !test::makesSymlinks()) continue;
        Library lib;
        test::writeFile(lib.serato / "A.crate", "0");
        test::writeFile(lib.serato / "Sub" / "B.crate", "0");
        auto run = lib.begin("20261208T043512Z", 10);
        Library::replace(run, lib.serato / "A.crate", "1");
        Library::replace(run, lib.serato / "Sub" / "B.crate", "1");
        damage(lib, run);
        run.save();
        const auto before = tree(lib.dir.path());
        const auto outcome = lib.runner.undo("", true);
        EXPECT_TRUE(outcome.refused) << why;
        EXPECT_NE(outcome.message.find(why), std::string::npos) << outcome.message;
        EXPECT_EQ(tree(lib.dir.path()), before) << why;
    }
    if (!test::makesSymlinks()) GTEST_SKIP() << "the link row: this system makes no symbolic links";
    if (!listsProcesses)
        GTEST_SKIP() << "the Serato row: "
                     << (test::processFolderRead() ? "this backend lists no processes"
                                                   : test::processFolderUnread());
}

// Where the system cannot tell whether Serato runs, the undo goes on and says so, before it
// asks and among its lines.
TEST(UndoRunner, GoesOnAndSaysSoWhenNobodyCanTellWhetherSeratoRuns) {
    if (!test::processFolderRead()) GTEST_SKIP() << test::processFolderUnread();
    Library lib;
    test::writeFile(lib.serato / "A.crate", "0");
    auto run = lib.begin("20261208T043512Z", 10);
    Library::replace(run, lib.serato / "A.crate", "1");
    run.save();
    lib.runner.setProcessTable(lib.dir / "no process table");
    const auto plan = lib.runner.plan("", false);
    ASSERT_FALSE(plan.refused()) << plan.refusal;
    EXPECT_EQ(plan.confirmationLines().back(), RestoreTexts::seratoStateUnknown);
    const auto outcome = lib.runner.undo("", false);
    EXPECT_EQ(outcome.putBack, 1);
    ASSERT_FALSE(outcome.lines.empty());
    EXPECT_EQ(outcome.lines.front().message, RestoreTexts::seratoStateUnknown);
}

// Once the checks passed, a file that cannot be put back is counted and the rest goes on; the
// run stays not undone, so the undo can be run again.
TEST(UndoRunner, OneFailedFileDoesNotStopTheRest) {
    Library lib;
    const fs::path a = lib.serato / "A.crate", b = lib.serato / "B.crate";
    test::writeFile(a, "0");
    test::writeFile(b, "0");
    auto run = lib.begin("20261208T043512Z", 10);
    Library::replace(run, a, "1");
    Library::replace(run, b, "1");
    fs::remove(b);
    test::writeFile(b / "in the way", "");  // a folder now holds the name
    const auto outcome = lib.runner.undo("", true);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(outcome.putBack, 1);
    EXPECT_EQ(test::readBytes(a)[0], '0');
    EXPECT_FALSE(lib.runner.runs()[0].undone);
    fs::remove_all(b);
    EXPECT_EQ(lib.runner.undo("", true).message, "Undid run 20261208T043512Z: 1 file(s) put back, 0 removed.");
}

}  // namespace
}  // namespace morrowdeck
