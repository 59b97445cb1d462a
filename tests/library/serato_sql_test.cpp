// master.sqlite: what is read, what apply writes, and when it writes nothing.
#include "library/serato_sql.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/mount_guard.h"
#include "support/serato_sqlite.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoSQL {

void PrintTo(const ApplyResult& result, std::ostream* out) {
    *out << result.assetsUpdated << ", " << result.rulesWritten << ", "
         << result.error.value_or("no error") << ", " << testing::PrintToString(result.warnings);
}

namespace {

using test::SeratoSqlite;
using Schema = SeratoSqlite::Schema;
constexpr const char* null = "NULL";

// A master.sqlite in a fresh folder, with readers for what apply writes.
struct Master {
    explicit Master(Schema schema) : db(file, schema) {}
    // "rating|color|bpm|playCount" of an asset, as SQL literals.
    std::optional<std::string> asset(const std::string& key) {
        return db.scalar("SELECT quote(rating)||'|'||quote(color)||'|'||quote(bpm)||'|'||"
                         "quote(dj_play_count) FROM asset WHERE portable_id = " +
                         test::sqlQuote(key));
    }
    // "version|rules" of a container's smart-crate rules.
    std::optional<std::string> rules(std::int64_t container) {
        return db.scalar("SELECT version||'|'||rules FROM smart_crate_rules WHERE container_id = " +
                         std::to_string(container));
    }
    test::TempDir dir;
    std::filesystem::path file = dir / "master.sqlite";
    SeratoSqlite db;
};

TEST(SeratoSqlCleanName, CutsBeforeFirstControlOrSupplementaryPrivateUseScalar) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("Deep\0x", 6), "Deep"}, {"A\x1Fz", "A"},  // U+0000, the last control
        {"A \x7Fz", "A \x7Fz"},                                // space and DEL stay
        {"A\xF3\xAF\xBF\xBFz", "A\xF3\xAF\xBF\xBFz"}, {"A\xF3\xB0\x80\x80z", "A"},  // U+EFFFF|F0000
        {"A\xFF\xC0\x8Az", "A\xFF\xC0\x8Az"},  // invalid, overlong \n
        {"A\xF3\xB0\x80", "A\xF3\xB0\x80"}};  // truncated U+F0000
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(cleanName(input), expected) << input;
}

TEST(SeratoSqlRead, RowsWithValuesCleanedNamesLaterDuplicateWins) {
    Master m(Schema::serato);
    m.db.addAsset("a", "0.5", "16711680", "120.0", "3");
    m.db.addAsset("b", null, null, null, "0");
    m.db.addAsset("bpm-only", null, null, "128.0", null);
    m.db.addRules(m.db.addContainer("Deep\n"), "<rules deep/>");
    m.db.addRules(m.db.addContainer("\nHidden"), "<rules hidden/>");
    m.db.addContainer("No rules");
    auto library = read(m.file);
    ASSERT_TRUE(library.has_value());
    std::sort(library->smartCrates.begin(), library->smartCrates.end(),  // SQLite's order
              [](const auto& a, const auto& b) { return a.name < b.name; });
    EXPECT_EQ(library, (Library{{{"a", {0.5, 16711680, 120.0, 3}}, {"b", {{}, {}, {}, 0}}},
                                {{"", "<rules hidden/>"}, {"Deep", "<rules deep/>"}}}));

    Master bare(Schema::minimal);
    bare.db.addAsset("dup", "0.2", null, null, null);
    bare.db.addAsset("dup", "0.4", null, null, null);
    bare.db.exec(
        "INSERT INTO asset (portable_id, rating) VALUES (NULL, 1.0);"
        "INSERT INTO container (id, name, type) VALUES (90, NULL, 2), (91, 'Null rules', 2);"
        "INSERT INTO smart_crate_rules VALUES (90, 1, 'x'), (91, 1, NULL)");
    EXPECT_EQ(read(bare.file), (Library{{{"dup", {0.4, {}, {}, {}}}}, {}}));
}

// Absent (read) or the open error (apply) when the path is no regular file (a FIFO is never
// opened, so never waited on) or cannot be opened, and nothing is created. A damaged, foreign
// or locked database gives what could be read (read at once, never waited for) and names the
// problem; apply writes nothing to a file that is no database and says so.
TEST(SeratoSqlOpen, UnopenableOrDamagedFilesNameTheProblem) {
    Master m(Schema::minimal);
    const Library library{{{"a", {0.5, {}, {}, {}}}}, {{"Deep", "r"}}};
    MORROWDECK_SKIP_ON_WINDOWS("no FIFOs");
    ASSERT_TRUE(test::makeFifo(m.dir / "fifo.sqlite"));
    // "" must not open SQLite's private temporary database.
    const std::pair<std::filesystem::path, const char*> unopenable[] = {
        {m.dir / "missing.sqlite", ""},
        {m.dir.path(), "not a regular file"},
        {m.dir / "fifo.sqlite", "not a regular file"},
        {{}, ""}};
    for (const auto& [path, expected] : unopenable) {
        std::string problem;
        EXPECT_EQ(read(path, &problem), std::nullopt) << path;
        EXPECT_EQ(problem, expected) << path;
        EXPECT_EQ(apply(library, path), (ApplyResult{0, 0, std::string(openErrorText)})) << path;
    }
    EXPECT_FALSE(std::filesystem::exists(m.dir / "missing.sqlite"));

    test::writeFile(m.dir / "garbage.sqlite", std::string(4096, 'x'));
    SeratoSqlite(m.dir / "assets.sqlite", Schema::existing)
        .exec("CREATE TABLE asset (portable_id TEXT, rating REAL, color INTEGER, bpm REAL,"
              " dj_play_count INT); INSERT INTO asset VALUES ('k', NULL, 5, NULL, NULL)");
    m.db.addAsset("a", "0.5", null, null, null);
    m.db.exec("BEGIN EXCLUSIVE");
    const std::tuple<std::filesystem::path, Library, const char*> damaged[] = {
        {m.dir / "garbage.sqlite", {}, "file is not a database"},
        {m.dir / "assets.sqlite", {{{"k", {{}, 5, {}, {}}}}, {}}, "no such table: smart_crate_rules"},
        {m.file, {}, "database is locked"}};
    for (const auto& [path, expected, reason] : damaged) {
        std::string problem;
        EXPECT_EQ(read(path, &problem), expected) << path;
        EXPECT_EQ(problem, reason) << path;
    }
    m.db.exec("ROLLBACK");
    std::string problem;
    EXPECT_EQ(read(m.file, &problem)->assets.size(), 1u);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(apply(library, m.dir / "garbage.sqlite").error,
              std::string(writeErrorText) + "file is not a database.");
}

// ---- apply, on Serato's schema (CHECK, triggers) and on bare columns ----

class SeratoSqlApply : public testing::TestWithParam<Schema> {
  protected:
    Master m{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Schemas, SeratoSqlApply, testing::Values(Schema::serato, Schema::minimal),
                         [](const auto& test) {
                             return test.param == Schema::serato ? "Serato" : "Minimal";
                         });

// Keys and names holding quotes and SQL text are bound, never spliced into a statement.
const std::string kQuotedKey = "it's \"x\"'; DROP TABLE asset; --";
const std::string kQuotedName = "O'Brien'); DELETE FROM container; --";

// Only the values a record holds are written; the others keep what the database has.
TEST_P(SeratoSqlApply, OnlyHeldValuesWrittenBpmNeverWritten) {
    const std::tuple<std::string, AssetMeta, const char*> cases[] = {
        // from rating 0.5, color 3, bpm 120.0, play count 9
        {kQuotedKey, {{}, {}, {}, 7}, "0.5|3|120.0|7"},
        {"1", {0.25, {}, {}, {}}, "0.25|3|120.0|9"},
        {"2", {{}, 16711680, {}, {}}, "0.5|16711680|120.0|9"},
        {"3", {1.0, 0, 99.0, 0}, "1.0|0|120.0|0"},
        {"bpm only", {{}, {}, 99.0, {}}, "0.5|3|120.0|9"}};  // not counted
    Library library{{{"no such asset", {1.0, 1, 1.0, 1}}}, {}};
    m.db.addAsset("untouched", "0.5", "3", "120.0", "9");
    for (const auto& [key, meta, stored] : cases) {
        m.db.addAsset(key, "0.5", "3", "120.0", "9");
        library.assets[key] = meta;
    }
    EXPECT_EQ(apply(library, m.file), (ApplyResult{4, 0, std::nullopt}));
    for (const auto& [key, meta, stored] : cases)
        EXPECT_EQ(m.asset(key), stored) << key;
    EXPECT_EQ(m.asset("untouched"), "0.5|3|120.0|9");
}

// A staged name finds its smart crate by exact name, else by the name Serato's own name reads
// back as (cut at a control character); wildcards, a mere prefix, a crate of another type or
// a name that fits two smart crates never take another crate's rules.
TEST_P(SeratoSqlApply, SmartCrateRulesGoOnlyToTheOneCrateOfTheirName) {
    // SQLite returns "House Classics" first for LIKE 'House%' (rowid order on the minimal
    // table, top-level names before nested ones in Serato's unique index): only the exact
    // lookup keeps it from taking the rules of "House".
    const auto classics = m.db.addContainer("House Classics");
    const auto house = m.db.addContainer("House", 2, m.db.addContainer("Genres", 1));
    const auto cut = m.db.addContainer("Cut\x01tail");
    const auto keep = m.db.addContainer("Keep Me");
    m.db.addContainer("Twin\nA");
    m.db.addContainer("Twin\nB");
    const auto plainCrate = m.db.addContainer("Techno", 1);
    const auto quoted = m.db.addContainer(kQuotedName);
    m.db.addRules(classics, "classics", 5);
    m.db.addRules(house, "old house", 5);
    m.db.addRules(keep, "keep me", 3);
    const Library library{{},
                          {{"House", "new house"}, {"House Classics", "new classics"},
                           {"cut", "by its cleaned name, ASCII case ignored"},
                           {"%", "wildcard"}, {"_", "wildcard"}, {"Kee", "mere prefix"},
                           {"Twin", "two crates"}, {"Techno", "type 1 only"},
                           {"", "an empty name is no wildcard"},
                           {std::string("\0Keep Me", 8), "cut at NUL by SQLite"},
                           {kQuotedName, "it's 'rules'"}}};
    const auto none = [](const std::string& name) {
        return "No smart crate named \"" + name +
               "\" in Serato's database; its rules were not written.";
    };
    EXPECT_EQ(apply(library, m.file),
              (ApplyResult{0, 4, std::nullopt,
                           {none("%"), none("_"), none("Kee"),
                            "More than one smart crate in Serato's database is named \"Twin\"; "
                            "its rules were not written.",
                            none("Techno"), none(""), none("")}}));
    EXPECT_EQ(m.rules(house), "1|new house");
    EXPECT_EQ(m.rules(classics), "1|new classics");
    EXPECT_EQ(m.rules(cut), "1|by its cleaned name, ASCII case ignored");
    EXPECT_EQ(m.rules(keep), "3|keep me");
    EXPECT_EQ(m.rules(plainCrate), std::nullopt);
    EXPECT_EQ(m.rules(quoted), "1|it's 'rules'");
    EXPECT_EQ(m.db.scalar("SELECT count(*) FROM smart_crate_rules"), "5");
}

// Serato's CHECK refuses a rating above 1 and the whole update with it, while the rest is
// committed.
TEST(SeratoSqlApplyCheck, RefusedUpdateIsNotCountedOthersCommitted) {
    Master m(Schema::serato);
    m.db.addAsset("bad", "0.5", "3", null, "9");
    m.db.addAsset("good", null, null, null, null);
    m.db.addContainer("Deep");
    const Library library{{{"bad", {4.0, 1, {}, 1}}, {"good", {0.8, {}, {}, 2}}},
                          {{"Deep", "rules"}}};
    EXPECT_EQ(apply(library, m.file), (ApplyResult{1, 1, std::nullopt}));
    EXPECT_EQ(m.asset("bad"), "0.5|3|NULL|9");
    EXPECT_EQ(m.asset("good"), "0.8|NULL|NULL|2");
}

// Another program's locks: a short one is waited out; one held past the busy timeout, or a
// reader that blocks the commit, leaves the database as it was and is the error. So is a
// database on a read-only volume.
TEST(SeratoSqlApplyLocked, ShortLockWaitedOutLongLockReaderOrReadOnlyVolumeWritesNothing) {
    Master m(Schema::minimal);
    m.db.addAsset("a", "0.5", null, null, null);
    m.db.addContainer("Deep");
    const Library library{{{"a", {1.0, {}, {}, {}}}}, {{"Deep", "r"}}};
    const ApplyResult locked{0, 0, std::string(lockedErrorText)};
    SeratoSqlite holder(m.file, Schema::existing);

    holder.exec("BEGIN EXCLUSIVE");
    EXPECT_EQ(apply(Library{library.assets, {}}, m.file), locked);
    holder.exec("ROLLBACK");
    holder.exec("BEGIN");
    EXPECT_EQ(holder.scalar("SELECT count(*) FROM asset"), "1");  // a shared lock until COMMIT
    EXPECT_EQ(apply(library, m.file), locked);
    holder.exec("COMMIT");
    EXPECT_EQ(m.asset("a"), "0.5|NULL|NULL|NULL");
    EXPECT_EQ(m.db.scalar("SELECT count(*) FROM smart_crate_rules"), "0");

    holder.exec("BEGIN EXCLUSIVE");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.exec("COMMIT");
    });
    const auto result = apply(library, m.file);
    release.join();
    EXPECT_EQ(result, (ApplyResult{1, 1, std::nullopt}));
    EXPECT_EQ(m.asset("a"), "1.0|NULL|NULL|NULL");

    const auto volume = m.dir / "volume";
    test::TmpfsMount tmpfs(volume, "size=1m");
    if (!tmpfs.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    SeratoSqlite(volume / "master.sqlite", Schema::minimal).addAsset("a", "0.5", null, null, null);
    ASSERT_TRUE(tmpfs.remountReadOnly());
    EXPECT_EQ(apply(library, volume / "master.sqlite"),
              (ApplyResult{0, 0, std::string(readOnlyErrorText)}));
}

}  // namespace
}  // namespace morrowdeck::SeratoSQL
