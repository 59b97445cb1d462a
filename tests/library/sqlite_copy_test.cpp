// Copying a SQLite database through SQLite: what a reader sees is copied (a -wal file
// included), a copy put back over a database replaces its content, and what is no database
// is refused without harm.
#include "library/sqlite_copy.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;

struct Db {
    explicit Db(const fs::path& file) { sqlite3_open(test::text(file).c_str(), &db); }
    ~Db() { sqlite3_close(db); }
    void exec(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }
    std::string rows() {
        std::string text;
        sqlite3_exec(
            db, "SELECT group_concat(v, ',') FROM t",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] ? values[0] : "";
                return 0;
            },
            &text, nullptr);
        return text;
    }
    sqlite3* db = nullptr;
};

TEST(SqliteCopy, CopiesWhatAReaderSeesAndPutsItBack) {
    test::TempDir dir;
    const fs::path live = dir.path() / "master.sqlite";
    const fs::path saved = dir.path() / "undo" / "master.sqlite";
    fs::create_directories(saved.parent_path());
    Db writer(live);
    writer.exec("PRAGMA journal_mode=WAL; CREATE TABLE t(v); INSERT INTO t VALUES('a'),('b');");
    ASSERT_TRUE(fs::exists(dir.path() / "master.sqlite-wal"));  // not checkpointed yet

    EXPECT_EQ(copySqliteDatabase(live, saved), "");
    EXPECT_EQ(Db(saved).rows(), "a,b");

    writer.exec("DELETE FROM t; INSERT INTO t VALUES('changed');");
    EXPECT_EQ(copySqliteDatabase(saved, live), "");
    EXPECT_EQ(writer.rows(), "a,b");  // the open connection sees the content put back
    // Reading the saved copy left no empty -wal or -shm files beside it.
    EXPECT_FALSE(fs::exists(test::pathOf(test::text(saved) + "-wal")));
    EXPECT_FALSE(fs::exists(test::pathOf(test::text(saved) + "-shm")));
}

// The content is the rows: the same whether they sit in the -wal, were checkpointed or the
// file was rebuilt, and different as soon as one value differs.
TEST(SqliteCopy, ContentIsTheRowsWhateverTheFiles) {
    test::TempDir dir;
    const fs::path live = dir.path() / "master.sqlite";
    const auto content = [&] {
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(readSqliteContent(live, [&](std::span<const std::uint8_t> data) {
                      bytes.insert(bytes.end(), data.begin(), data.end());
                  }),
                  "");
        return bytes;
    };
    Db writer(live);
    writer.exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t(v);"
                "CREATE TABLE k(id TEXT PRIMARY KEY, n) WITHOUT ROWID;"
                "INSERT INTO t VALUES('a'), (1.5), (x'00'), (NULL); INSERT INTO k VALUES('b', 2);");
    const auto inWal = content();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE); VACUUM;");
    EXPECT_EQ(content(), inWal);
    writer.exec("UPDATE k SET n = 3;");
    EXPECT_NE(content(), inWal);
    EXPECT_NE(readSqliteContent(dir.path() / "missing", [](auto) {}), "");
}

// Read-only on the source: a -wal another program left behind is read, not checkpointed into
// the source file (the read-write default, as last connection, would). A source a writer
// keeps locked past the wait is a busy failure.
TEST(SqliteCopy, ReadOnlySourceIsNeverWritten) {
    test::TempDir dir;
    const fs::path live = dir.path() / "master.sqlite";
    {
        Db writer(live);
        writer.exec(
            "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t(v);"
            "INSERT INTO t VALUES('a');");
        sqlite3_db_config(writer.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    const auto file = test::readBytes(live);
    const auto wal = test::readBytes(test::pathOf(test::text(live) + "-wal"));
    ASSERT_FALSE(wal.empty());
    SqliteCopyOptions options;
    options.readOnlySource = true;
    options.checkCopy = true;
    EXPECT_EQ(copySqliteDatabase(live, dir.path() / "copy", options).problem, "");
    EXPECT_EQ(Db(dir.path() / "copy").rows(), "a");
    EXPECT_EQ(test::readBytes(live), file);
    EXPECT_EQ(test::readBytes(test::pathOf(test::text(live) + "-wal")), wal);

    const fs::path locked = dir.path() / "locked.sqlite";
    Db holder(locked);
    holder.exec("CREATE TABLE t(v); BEGIN EXCLUSIVE; INSERT INTO t VALUES('b');");
    options.busyTimeout = std::chrono::milliseconds(100);
    const auto busy = copySqliteDatabase(locked, dir.path() / "copy2", options);
    EXPECT_TRUE(busy.busy);
    EXPECT_NE(busy.problem, "");
}

TEST(SqliteCopy, RefusesWhatIsNoDatabase) {
    test::TempDir dir;
    const fs::path notDb = dir.path() / "notes.txt";
    test::writeFile(notDb, std::string(5000, 'x'));
    for (const fs::path& source : {notDb, dir.path(), dir.path() / "missing"})
        EXPECT_NE(copySqliteDatabase(source, dir.path() / "target.sqlite"), "") << source;
    Db(dir.path() / "good.sqlite").exec("CREATE TABLE t(v); INSERT INTO t VALUES('x');");
    EXPECT_NE(copySqliteDatabase(dir.path() / "good.sqlite", dir.path() / "no/such/folder/db"), "");
}

}  // namespace
}  // namespace morrowdeck
