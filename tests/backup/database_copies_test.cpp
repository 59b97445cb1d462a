// The safety copies of Serato's SQLite databases that every backup keeps in its metadata
// folder: what they hold, and that no database problem costs the previous copy or the run.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "backup/backup_engine.h"
#include "engine/run_outcome.h"
#include "library/sqlite_copy.h"
#include "platform/home_folder.h"
#include "support/engine_harness.h"
#include "support/fixtures.h"
#include "support/mount_guard.h"
#include "support/serato_sqlite.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Level = LogEntry::Level;
using test::makeCrate;

// A library with one track, a HOME whose Serato database the backup copies, and a backup
// folder; run() backs up through an engine that waits 200 ms for a locked database.
struct Library {
    test::TempDir dir;
    fs::path home = dir / "home";
    test::ScopedHome homeFolder{home};
    fs::path master = home / platform::applicationDataBelowHome() / "Serato/Library/master.sqlite";
    fs::path backup = dir / "Backup";
    fs::path copy = backup / ".morrowdeck" / "master.sqlite";
    std::string track = test::text(dir / "Music" / "a.mp3");

    Library() { test::writeFile(track, std::string(100, 'a')); }

    // A Serato-style database with a few assets (and whatever `more` adds), closed.
    void makeMaster(const std::string& more = "") {
        test::SeratoSqlite db(master, test::SeratoSqlite::Schema::serato);
        for (int i = 0; i < 3; ++i)
            db.addAsset("Music/" + std::to_string(i) + ".mp3", "0.5", "1", "120.0", "2");
        if (!more.empty()) db.exec(more);
    }

    test::RunRecord run() {
        BackupEngine engine(std::make_shared<test::ImmediateQueue>());
        engine.setDatabaseWait(std::chrono::milliseconds(200));
        return test::captureRun<BackupEngine>(engine,
                                              [&](auto onLog, auto onProgress, auto done) {
                                                  engine.run({makeCrate({"C"}, {track})}, backup,
                                                             {}, {}, onLog, onProgress, done);
                                              },
                                              {});
    }

    // Names in the metadata folder that are temporary files a failed copy would leave.
    bool leftTemporaries() const {
        for (const auto& entry : fs::directory_iterator(copy.parent_path()))
            if (test::text(entry.path().filename()).find(".morrowdeck-") != std::string::npos)
                return true;
        return false;
    }
};

std::vector<std::uint8_t> contentOf(const fs::path& file) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(readSqliteContent(file,
                                [&](std::span<const std::uint8_t> data) {
                                    bytes.insert(bytes.end(), data.begin(), data.end());
                                }),
              "");
    return bytes;
}

// Every run saves the whole database; with nobody writing, the copy holds the very bytes of
// the source, which the backup left as they were. A WAL database's pages still in its -wal
// are in the copy too.
TEST(DatabaseCopies, EveryRunSavesTheWholeDatabase) {
    Library lib;
    // Older Serato has no database: said as information, the run stays clean.
    const auto without = lib.run();
    EXPECT_TRUE(without.logged("No Serato database at " + test::text(lib.master) +
                               ": crates and track data come from the crate files alone."));
    EXPECT_FALSE(fs::exists(lib.copy));
    EXPECT_TRUE(RunOutcome::of(without.final()).isSuccess());

    lib.makeMaster();
    const auto before = test::readBytes(lib.master);
    const auto run = lib.run();
    EXPECT_TRUE(run.logged("Saved a copy of Serato's database " + test::text(lib.master) + "."));
    EXPECT_EQ(test::readBytes(lib.copy), before);
    EXPECT_EQ(test::readBytes(lib.master), before);

    test::SeratoSqlite writer(lib.master, test::SeratoSqlite::Schema::existing);
    writer.exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    writer.exec("INSERT INTO asset (external_id, location_id, portable_id) VALUES (100, 1, 'n');");
    ASSERT_GT(fs::file_size(test::pathOf(test::text(lib.master) + "-wal")), 0u);
    lib.run();
    EXPECT_EQ(contentOf(lib.copy), contentOf(lib.master));
    EXPECT_NE(test::readBytes(lib.copy), before);

    writer.exec("PRAGMA wal_checkpoint(TRUNCATE);");
    lib.run();
    EXPECT_EQ(test::readBytes(lib.copy), test::readBytes(lib.master));
}

// Serato holding its write lock past the wait, a damaged database, a copy that cannot take
// its name and a full destination each give one warning; the crate is still backed up, the
// run does not fail, and the previous copy stays as it was.
TEST(DatabaseCopies, AProblemKeepsThePreviousCopyAndTheRunGoesOn) {
    Library lib;
    lib.makeMaster();
    lib.run();
    const auto previous = test::readBytes(lib.copy);
    const auto expectKept = [&](const test::RunRecord& run, const std::string& warning) {
        EXPECT_TRUE(run.logged(warning)) << warning;
        EXPECT_EQ(run.final().failedFiles, 0);
        EXPECT_TRUE(fs::exists(lib.backup / "C" / "a.mp3"));
        EXPECT_EQ(test::readBytes(lib.copy), previous);
        EXPECT_FALSE(lib.leftTemporaries());
    };

    {
        test::SeratoSqlite writer(lib.master, test::SeratoSqlite::Schema::existing);
        writer.exec("BEGIN EXCLUSIVE; UPDATE asset SET bpm = 100;");
        expectKept(lib.run(), "Couldn't copy Serato's database " + test::text(lib.master) +
                                  ": Serato is writing to it (still locked after 0.2 s). The "
                                  "backup goes on without it; the previous copy is kept.");
        writer.exec("ROLLBACK;");
    }

    const auto good = test::readBytes(lib.master);
    test::writeFile(lib.master, std::string(8192, 'x'));
    expectKept(lib.run(), "Couldn't copy Serato's database " + test::text(lib.master) +
                              " (file is not a database); the previous copy is kept.");

    // A folder where the copy goes: the rename fails and the folder stays.
    test::writeFile(lib.master, good);
    fs::rename(lib.copy, lib.dir / "previous");
    fs::create_directories(lib.copy / "inside");
    const auto run = lib.run();
    EXPECT_TRUE(run.logged("Couldn't copy Serato's database " + test::text(lib.master) + " (" +
                           test::text(lib.copy) + ": Is a directory); the previous copy is kept."));
    EXPECT_EQ(run.final().failedFiles, 0);
    EXPECT_TRUE(fs::is_directory(lib.copy / "inside"));
    EXPECT_FALSE(lib.leftTemporaries());
}

TEST(DatabaseCopies, AFullDestinationKeepsThePreviousCopy) {
    Library lib;
    test::TmpfsMount small(lib.backup, "size=256k");
    if (!small.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    lib.makeMaster();
    lib.run();
    const auto previous = test::readBytes(lib.copy);
    test::SeratoSqlite(lib.master, test::SeratoSqlite::Schema::existing)
        .exec(
            "INSERT INTO asset (external_id, location_id, portable_id, comments) VALUES (100, "
            "1, 'big', hex(randomblob(200000)))");  // more than the destination holds
    const auto run = lib.run();
    EXPECT_TRUE(run.logged("Couldn't copy Serato's database " + test::text(lib.master) +
                           " (database or disk is full); the previous copy is kept."));
    EXPECT_EQ(run.final().failedFiles, 0);
    EXPECT_EQ(test::readBytes(lib.copy), previous);
    EXPECT_FALSE(lib.leftTemporaries());
}

// The further databases the `connection` table names: each local file is copied under a name
// of its own, listed in the index; one that is not there is named, one that is no local file
// path is never opened, and nothing is written outside the backup.
TEST(DatabaseCopies, ConnectedDatabases) {
    Library lib;
    const auto drive = lib.dir / "Drive One" / "_Serato_" / "drive.sqlite";
    test::SeratoSqlite(drive, test::SeratoSqlite::Schema::serato)
        .addAsset("a.mp3", "1", "1", "1", "1");
    const auto other = lib.dir / "Drive Two" / "drive.sqlite";
    test::SeratoSqlite(other, test::SeratoSqlite::Schema::minimal);
    // A name that is no valid UTF-8 (Linux allows it) is saved, its URI indexed as best it can.
    const auto odd = lib.dir / "Drive\xff" / "odd.sqlite";
    test::SeratoSqlite(odd, test::SeratoSqlite::Schema::minimal);
    // "file:///C:/…" where paths start with a drive.
    const std::string goodPath = test::text(lib.dir / "Drive%20One/_Serato_/drive.sqlite");
    const std::string goodUri = "file://" + std::string(goodPath.starts_with('/') ? "" : "/") + goodPath;
    const auto missing = lib.dir / "Gone" / "drive.sqlite";
    lib.makeMaster("INSERT INTO connection VALUES (1, " + test::sqlQuote(goodUri) + "), (2, " +
                   test::sqlQuote(test::text(other)) + "), (3, " +
                   test::sqlQuote(test::text(missing)) + "), (4, '../../x'), (6, " +
                   test::sqlQuote(test::text(odd)) + "), (5, 'http://example.com/x.sqlite');");
    const auto entries = [&] {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(lib.dir.path()))
            found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    };
    const auto outside = [&](const std::vector<fs::path>& all) {
        std::vector<fs::path> kept;
        for (const auto& path : all)
            if (test::text(path).rfind(test::text(lib.backup), 0) != 0) kept.push_back(path);
        return kept;
    };
    const auto before = outside(entries());

    const auto run = lib.run();
    const auto folder = lib.backup / ".morrowdeck" / "Connected Databases";
    const auto indexBytes = test::readBytes(folder / "index.json");
    const auto index = nlohmann::json::parse(indexBytes.begin(), indexBytes.end());
    ASSERT_EQ(index.size(), 3u);
    const std::string driveName = index.at(goodUri);
    const std::string otherName = index.at(test::text(other));
    EXPECT_TRUE(driveName.ends_with("-drive.sqlite"));
    EXPECT_NE(driveName, otherName);
    EXPECT_EQ(test::readBytes(folder / driveName), test::readBytes(drive));
    EXPECT_EQ(test::readBytes(folder / otherName), test::readBytes(other));
    EXPECT_TRUE(run.logged("Saved a copy of 3 drive database(s) that Serato's database names."));
    EXPECT_TRUE(run.logged("Couldn't reach the database " + test::text(missing) +
                           " that Serato's database names (its drive may not be connected); its "
                           "previous copy, if any, is kept."));
    for (const std::string uri : {"../../x", "http://example.com/x.sqlite"})
        EXPECT_TRUE(run.logged("Couldn't reach the database \"" + uri +
                               "\" that Serato's database names: not a local file path, so it "
                               "is not opened."));
    EXPECT_EQ(run.final().failedFiles, 0);
    EXPECT_EQ(outside(entries()), before);

    // A drive not connected at the next run keeps its copy and its entry.
    fs::remove(other);
    lib.run();
    const auto again = test::readBytes(folder / "index.json");
    EXPECT_EQ(nlohmann::json::parse(again.begin(), again.end()), index);
    EXPECT_TRUE(fs::exists(folder / otherName));
}

}  // namespace
}  // namespace morrowdeck
