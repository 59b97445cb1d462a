// Putting a backup's copy of Serato's database back where none exists: volume paths checked
// and mapped in the copy only, every refusal and failed write leaving nothing behind, the
// restore run's counting of it, and its undo.
#include "restore/serato_database_restore.h"

#include <gtest/gtest.h>

#include "platform/home_folder.h"
#include "restore/restore_engine.h"
#include "restore/restore_status.h"
#include "restore/undo_runner.h"
#include "support/engine_harness.h"
#include "support/master_database_fixture.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Request = SeratoDatabaseRestore::Request;
using Names = std::vector<std::string>;

struct DatabaseRestore {
    test::TempDir dir;
    fs::path backup = dir / "Backup";
    fs::path saved = backup / ".morrowdeck" / "master.sqlite";
    fs::path database =
        dir / "Home" / platform::applicationDataBelowHome() / "Serato/Library/master.sqlite";
    fs::path root = dir / "Music/_Serato_";
    fs::path drive = dir / "Drive";  // a volume that is on this machine

    DatabaseRestore() {
        fs::create_directories(drive);
        fs::create_directories(dir / "Home");
    }

    // A saved copy naming these volumes, each with a crate of one track.
    void saveCopy(const Names& volumes) {
        fs::create_directories(saved.parent_path());
        test::MasterDatabaseFixture db(saved);
        for (const auto& volume : volumes) {
            const auto id = db.addVolume(volume);
            db.addEntry(db.addCrate("Crate " + std::to_string(id)), db.addAsset(id, "a.mp3"), 1);
        }
    }
    SeratoDatabaseRestore::Outcome put(Request request = {}) {
        if (request.database.empty()) request.database = database;
        std::string error;
        const auto journal = UndoJournal::begin(root, UndoIndex::Kind::restore, {}, error);
        EXPECT_TRUE(journal) << error;
        auto outcome = SeratoDatabaseRestore::put(backup, request, *journal);
        EXPECT_EQ(journal->finish(), 0);
        return outcome;
    }
    static std::string volumes(const fs::path& file) {
        test::SeratoSqlite db(file, test::SeratoSqlite::Schema::existing);
        return db
            .scalar(
                "SELECT group_concat(path, '|') FROM (SELECT path FROM location "
                "ORDER BY id)")
            .value_or("");
    }
    // What the database's folder holds (temporary files included); empty when it is missing.
    Names besideDatabase() const {
        Names names;
        std::error_code error;
        for (const auto& item : fs::directory_iterator(database.parent_path(), error))
            names.push_back(test::text(item.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(SeratoDatabaseRestore, PutsTheCopyBackWithMappedVolumesAndUndoRemovesIt) {
    DatabaseRestore r;
    const fs::path newDrive = r.dir / "New Drive";
    fs::create_directories(newDrive);
    r.saveCopy({test::text(r.drive), "/Volumes/Gone/"});
    const auto savedBytes = test::readBytes(r.saved);

    const auto outcome =
        r.put({{}, {{"/Volumes/Gone", test::text(newDrive)}, {"/Volumes/Other", "/"}}});
    ASSERT_TRUE(outcome.written) << outcome.message;
    EXPECT_EQ(outcome.message, "Put back Serato's database " + test::text(r.database) +
                                   " from the backup's copy; volume \"/Volumes/Gone/\" is now \"" +
                                   test::text(newDrive) + "\".");
    EXPECT_EQ(outcome.warnings,
              Names{"No volume of Serato's saved database has the path \"/Volumes/Other\"; its "
                    "mapping was not used."});
    EXPECT_EQ(DatabaseRestore::volumes(r.database),
              test::text(r.drive) + "|" + test::text(newDrive));
    EXPECT_EQ(test::readBytes(r.saved), savedBytes);  // the backup's copy is never written
    EXPECT_EQ(r.besideDatabase(), Names{"master.sqlite"});

    // The undo removes the database and the folders made for it, and only while unchanged.
    {
        test::SeratoSqlite db(r.database, test::SeratoSqlite::Schema::existing);
        db.exec("UPDATE location SET path = '/elsewhere' WHERE id = 1");
    }
    const UndoRunner undo(r.root);
    const auto refused = undo.undo("", false);
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.changed, Names{test::text(r.database)});
    EXPECT_TRUE(fs::exists(r.database));
    {
        test::SeratoSqlite db(r.database, test::SeratoSqlite::Schema::existing);
        db.exec("UPDATE location SET path = " + test::sqlQuote(test::text(r.drive)) +
                " WHERE id = 1");
    }
    test::writeFile(test::pathOf(test::text(r.database) + "-shm"),
                    "");  // as a closed connection may leave
    const auto undone = undo.undo("", false);
    EXPECT_FALSE(undone.refused) << undone.message;
    EXPECT_EQ(undone.removed, 1);
    EXPECT_FALSE(fs::exists((r.dir / "Home" / platform::applicationDataBelowHome()).parent_path()))
        << "the folders the restore made go too";
    EXPECT_TRUE(fs::exists(r.dir / "Home"));
}

// Each refusal names its reason and writes nothing, not even a folder for the database.
TEST(SeratoDatabaseRestore, RefusesWithNothingWritten) {
    struct Case {
        std::string name;
        std::function<void(DatabaseRestore&)> setUp;
        Request request;
        std::string refusal;  // what the message says after "was not put back: "
    };
    const std::vector<Case> cases{
        {"existing database",
         [](DatabaseRestore& r) {
             r.saveCopy({test::text(r.drive)});
             test::writeFile(r.database, "Serato's own");
         },
         {},
         "$DB exists already, and an existing database is never replaced."},
        {"leftover -wal",
         [](DatabaseRestore& r) {
             r.saveCopy({test::text(r.drive)});
             test::writeFile(test::pathOf(test::text(r.database) + "-wal"), "frames");
         },
         {},
         "$DB-wal is there without its database; move it away first."},
        {"no saved copy",
         [](DatabaseRestore& r) { fs::create_directories(r.backup / "House"); },
         {},
         "the backup holds no copy of it ($SAVED); backups of libraries without one, and those "
         "made before Morrowdeck saved it, have none."},
        {"damaged copy",
         [](DatabaseRestore& r) {
             r.saveCopy({test::text(r.drive)});
             auto bytes = test::readBytes(r.saved);
             std::fill(bytes.begin() + 4096, bytes.end(), 0xA5);
             test::writeFile(r.saved, bytes);
         },
         {},
         "the backup's copy $SAVED is damaged or no database (database disk image is "
         "malformed)."},
        {"unmatched volumes",
         [](DatabaseRestore& r) {
             r.saveCopy({"/Volumes/A", test::text(r.drive), "/Volumes/B"});
         },
         {},
         "its volume path(s) \"/Volumes/A\", \"/Volumes/B\" are no folder on this machine; map "
         "each to one with --map-volume OLD=NEW."},
        {"mapped to a missing folder",
         [](DatabaseRestore& r) { r.saveCopy({"/Volumes/A"}); },
         {{}, {{"/Volumes/A", "/nowhere/A"}}},
         "the volume path(s) mapped to \"/nowhere/A\" are no folder on this machine."},
    };
    for (const auto& c : cases) {
        DatabaseRestore r;
        c.setUp(r);
        const auto before = r.besideDatabase();
        const auto outcome = r.put(c.request);
        std::string expected = "Serato's database was not put back: " + c.refusal;
        for (const auto& [key, value] : {std::pair{std::string("$DB"), test::text(r.database)},
                                         {"$SAVED", test::text(r.saved)}})
            if (const auto at = expected.find(key); at != std::string::npos)
                expected.replace(at, key.size(), value);
        EXPECT_FALSE(outcome.written) << c.name;
        EXPECT_EQ(outcome.message, expected) << c.name;
        EXPECT_EQ(r.besideDatabase(), before) << c.name;
        EXPECT_EQ(fs::exists(r.database.parent_path()), !before.empty()) << c.name;
    }
}

TEST(SeratoDatabaseRestore, AFailedWriteIsAFailureAndLeavesNoFile) {
    DatabaseRestore r;
    r.saveCopy({test::text(r.drive)});
    {
        test::SeratoSqlite db(r.saved, test::SeratoSqlite::Schema::existing);
        db.exec(
            "CREATE TABLE padding (data BLOB); INSERT INTO padding "
            "VALUES (randomblob(200000))");
    }
    // A folder that fills up halfway through the copy.
    test::TmpfsMount full(r.database.parent_path(), "size=64k");
    if (!full.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const auto outcome = r.put();
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.message, "Couldn't put back Serato's database " + test::text(r.database) +
                                   ": No space left on device. Nothing was written there.");
    EXPECT_EQ(r.besideDatabase(), Names{});

    // A file where its folder would go.
    test::writeFile(r.dir / "File", "");
    EXPECT_EQ(r.put({r.dir / "File/master.sqlite", {}}).message,
              "Couldn't put back Serato's database " + test::text(r.dir / "File/master.sqlite") +
                  ": its folder could not be made (Not a directory). Nothing "
                  "was written there.");
}

TEST(SeratoDatabaseRestore, ReadsAMappingAtItsFirstEquals) {
    std::string error;
    EXPECT_EQ(SeratoDatabaseRestore::parseMapping("/Volumes/A/=/media/x=y/", error),
              (std::pair<std::string, std::string>{"/Volumes/A", "/media/x=y"}));
    for (const auto& [text, why] :
         {std::pair<std::string, std::string>{"/Volumes/A", "\"/Volumes/A\" is not OLD=NEW."},
          {"=/media/x", "\"=/media/x\" names no old path."},
          {"/Volumes/A=", "\"/Volumes/A=\" names no new path."},
          {"/Volumes/A=media/x",
           "\"/Volumes/A=media/x\": the new path media/x is not absolute."}}) {
        EXPECT_EQ(SeratoDatabaseRestore::parseMapping(text, error), std::nullopt) << text;
        EXPECT_EQ(error, why);
    }
}

// In a restore run the database is its last step: a refusal is one failed file and the rest
// of the restore stands; a database put back is named in the summary.
TEST(SeratoDatabaseRestore, RestoreRunCountsARefusalAsAFailedFile) {
    DatabaseRestore r;
    test::writeFile(r.backup / "House/a.mp3", "audio");
    r.saveCopy({"/Volumes/Gone"});
    const auto run = [&](Request request) {
        RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
        request.database = r.database;
        engine.setSeratoDatabase(request);
        return test::captureRun(engine,
                                [&](auto onLog, auto onProgress, auto completion) {
                                    engine.run(r.backup, r.dir / "Audio", r.root.parent_path(),
                                               ExistingFiles::replace, true, onLog, onProgress,
                                               completion);
                                },
                                {});
    };
    const auto refused = run({});
    ASSERT_EQ(refused.failure(), "");
    EXPECT_EQ(refused.final().failedFiles, 1);
    EXPECT_EQ(restoreStatusMessage(refused.final(), true), "Restore finished with 1 error(s).");
    EXPECT_TRUE(fs::exists(r.root / "Subcrates/House.crate"));
    EXPECT_FALSE(fs::exists(r.database));

    const auto putBack = run({{}, {{"/Volumes/Gone", test::text(r.drive)}}});
    EXPECT_EQ(putBack.final().failedFiles, 0);
    EXPECT_TRUE(fs::exists(r.database));
    EXPECT_TRUE(std::ranges::any_of(putBack.log, [](const LogEntry& entry) {
        return entry.message.find("Serato's database was put back.") != std::string::npos;
    }));
}

}  // namespace
}  // namespace morrowdeck
