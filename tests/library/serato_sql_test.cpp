#include "library/serato_sql.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <variant>

#include "library/serato_sql_json.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoSQL {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using Value = std::variant<std::nullptr_t, std::int64_t, double, std::string>;
using Clock = std::chrono::steady_clock;

constexpr std::nullptr_t null = nullptr;

// Serato's real table definitions (CHECK on rating, triggers calling Serato-only functions),
// or the bare columns the module uses, without constraints.
enum class Schema { serato, minimal };

constexpr const char* minimalSchema =
    "CREATE TABLE asset (external_id INTEGER, location_id INTEGER, portable_id TEXT,"
    "                    rating REAL, color INTEGER, bpm REAL, dj_play_count INTEGER);"
    "CREATE TABLE container (id INTEGER PRIMARY KEY, parent_id INTEGER, name TEXT,"
    "                        type INTEGER, list_order INTEGER);"
    "CREATE TABLE smart_crate_rules (container_id INTEGER PRIMARY KEY, version INTEGER,"
    "                                rules TEXT);";

// Serato's triggers call serato_str_norm and serato_raw_key_string_to_key_type, which only
// Serato registers; inserts through this connection use these stand-ins.
void firstArgument(sqlite3_context* context, int count, sqlite3_value** values) {
    if (count > 0) sqlite3_result_value(context, values[0]);
}
void minusOne(sqlite3_context* context, int, sqlite3_value**) {
    sqlite3_result_int64(context, -1);
}

// A test's own connection: creates and fills a database, reads values back.
class Database {
  public:
    explicit Database(const fs::path& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            ADD_FAILURE() << "cannot open " << file;
        }
        sqlite3_create_function(db_, "serato_str_norm", 1, SQLITE_UTF8, nullptr, firstArgument,
                                nullptr, nullptr);
        sqlite3_create_function(db_, "serato_raw_key_string_to_key_type", 1, SQLITE_UTF8, nullptr,
                                minusOne, nullptr, nullptr);
        exec("PRAGMA synchronous = OFF");  // this connection only: faster set-up
    }
    Database(const fs::path& file, Schema schema) : Database(file) {
        if (schema == Schema::minimal) {
            exec(minimalSchema);
        } else {
            std::ifstream in(test::fixturesRoot() / "schema" / "master-sqlite-schema-excerpt.sql");
            std::stringstream sql;
            sql << in.rdbuf();
            EXPECT_FALSE(sql.str().empty()) << "schema fixture missing";
            exec(sql.str());
            // The excerpt only describes Serato's update trigger; its body is abridged here.
            // apply's connection has no stand-ins, so an update that fired it would fail.
            exec(
                "CREATE TRIGGER after_asset_update AFTER UPDATE OF file_name, name, artist, album,"
                " genre, comments, label, remixer, grouping, composer, year, key ON main.asset"
                " BEGIN UPDATE asset SET name_norm = serato_str_norm(name),"
                " key_value = serato_raw_key_string_to_key_type(key) WHERE asset.id = new.id; END");
            exec("INSERT INTO location (id, path) VALUES (1, '/')");
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
            ADD_FAILURE() << message;
        sqlite3_free(message);
    }

    // Runs one statement with bound values; the first column of its first row as text
    // ("" when there is none).
    std::string query(const std::string& sql, const std::vector<Value>& values = {}) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql;
            return "";
        }
        for (int i = 0; i < static_cast<int>(values.size()); ++i) {
            const Value& value = values[static_cast<std::size_t>(i)];
            if (auto* integer = std::get_if<std::int64_t>(&value))
                sqlite3_bind_int64(statement, i + 1, *integer);
            if (auto* real = std::get_if<double>(&value))
                sqlite3_bind_double(statement, i + 1, *real);
            if (auto* text = std::get_if<std::string>(&value)) {
                sqlite3_bind_text(statement, i + 1, text->data(), static_cast<int>(text->size()),
                                  SQLITE_TRANSIENT);
            }
        }
        std::string result;
        const int step = sqlite3_step(statement);
        if (step == SQLITE_ROW && sqlite3_column_text(statement, 0) != nullptr) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        } else if (step != SQLITE_ROW && step != SQLITE_DONE) {
            ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql;
        }
        sqlite3_finalize(statement);
        return result;
    }

    void addAsset(const std::string& id, Value rating, Value color, Value bpm, Value playCount) {
        query(
            "INSERT INTO asset (external_id, location_id, portable_id, rating, color, bpm,"
            "                   dj_play_count) VALUES (?, 1, ?, ?, ?, ?, ?)",
            {++externalId_, id, rating, color, bpm, playCount});
    }

    std::int64_t addContainer(const std::string& name, std::int64_t type = 2, Value parent = null) {
        query("INSERT INTO container (name, type, list_order, parent_id) VALUES (?, ?, 0, ?)",
              {name, type, parent});
        return sqlite3_last_insert_rowid(db_);
    }

    void addRules(std::int64_t container, const std::string& rules, std::int64_t version = 1) {
        query("INSERT INTO smart_crate_rules (container_id, version, rules) VALUES (?, ?, ?)",
              {container, version, rules});
    }

    // "rating|color|bpm|playCount" in SQL literal form, e.g. "0.5|3|120.0|NULL".
    std::string asset(const std::string& id) {
        return query(
            "SELECT quote(rating)||'|'||quote(color)||'|'||quote(bpm)||'|'||quote(dj_play_count) "
            "FROM asset WHERE portable_id = ?",
            {id});
    }

    // "version|rules" of a container, "" when it has none.
    std::string rules(std::int64_t container) {
        return query("SELECT version||'|'||rules FROM smart_crate_rules WHERE container_id = ?",
                     {container});
    }

  private:
    sqlite3* db_ = nullptr;
    std::int64_t externalId_ = 0;
};

// ---- cleanName ----

struct NameCase {
    std::string input;
    std::string expected;
};

class SeratoSqlCleanName : public ::testing::TestWithParam<NameCase> {};

TEST_P(SeratoSqlCleanName, CutsBeforeFirstControlOrSupplementaryPrivateUseScalar) {
    EXPECT_EQ(cleanName(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeratoSqlCleanName,
    ::testing::Values(NameCase{"House Classics", "House Classics"},
                      NameCase{std::string("Deep\0x", 6), "Deep"},  // U+0000
                      NameCase{"Deep\n", "Deep"}, NameCase{"\nDeep", ""},
                      NameCase{"A\x1Fz", "A"},         // last control scalar
                      NameCase{"A \x7Fz", "A \x7Fz"},  // space and DEL stay
                      NameCase{"Caf\xC3\xA9 \xF0\x9F\x8E\xA7", "Caf\xC3\xA9 \xF0\x9F\x8E\xA7"},
                      NameCase{"A\xEE\x80\x80z", "A\xEE\x80\x80z"},          // U+E000 stays
                      NameCase{"A\xF3\xAF\xBF\xBFz", "A\xF3\xAF\xBF\xBFz"},  // U+EFFFF stays
                      NameCase{"A\xF3\xB0\x80\x80z", "A"},                   // U+F0000 ends
                      NameCase{"A\xF4\x8F\xBF\xBF", "A"},                    // U+10FFFF ends
                      NameCase{"A\xFF\xC0\x8Az", "A\xFF\xC0\x8Az"},          // invalid, overlong \n
                      NameCase{"A\xF3\xB0\x80", "A\xF3\xB0\x80"}));          // truncated U+F0000

// ---- read ----

TEST(SeratoSqlRead, ReadsSeratoSchemaAndSkipsRowsWithoutValues) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    Database db(file, Schema::serato);
    db.addAsset("a", 0.5, std::int64_t{16711680}, 120.0, std::int64_t{3});
    db.addAsset("b", null, null, null, std::int64_t{0});
    db.addAsset("bpm-only", null, null, 128.0, null);
    db.addAsset("nothing", null, null, null, null);
    db.addRules(db.addContainer("Deep\n"), "<rules deep/>");
    db.addRules(db.addContainer("\nHidden"), "<rules hidden/>");
    db.addContainer("No rules");

    auto library = read(file);
    ASSERT_TRUE(library.has_value());
    // Crates come in whatever order SQLite returns them.
    std::sort(library->smartCrates.begin(), library->smartCrates.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    const Library expected{
        {{"a", {0.5, 16711680, 120.0, 3}}, {"b", {std::nullopt, std::nullopt, std::nullopt, 0}}},
        {{"", "<rules hidden/>"}, {"Deep", "<rules deep/>"}}};
    EXPECT_EQ(library, expected) << encodeJson(*library);
}

TEST(SeratoSqlRead, NullKeysNamesAndRulesSkippedLaterDuplicateWins) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    Database db(file, Schema::minimal);
    db.addAsset("dup", 0.2, null, null, null);
    db.addAsset("dup", 0.4, null, null, null);
    db.query("INSERT INTO asset (portable_id, rating) VALUES (NULL, 1.0)");
    db.addRules(db.addContainer("Kept"), "r");
    db.query("INSERT INTO container (id, name, type) VALUES (90, NULL, 2)");
    db.query(
        "INSERT INTO smart_crate_rules (container_id, version, rules)"
        " VALUES (90, 1, 'x'), (?, 1, NULL)",
        {db.addContainer("Null rules")});

    const auto library = read(file);
    ASSERT_TRUE(library.has_value());
    EXPECT_EQ(library->assets, (std::map<std::string, AssetMeta>{{"dup", {0.4, {}, {}, {}}}}));
    EXPECT_EQ(library->smartCrates, (std::vector<SmartCrate>{{"Kept", "r"}}));
}

TEST(SeratoSqlRead, AbsentOnlyWhenTheFileCannotBeOpened) {
    TempDir dir;
    EXPECT_EQ(read(dir / "missing.sqlite"), std::nullopt);
    EXPECT_EQ(read(dir.path()), std::nullopt);  // a folder
    EXPECT_EQ(read(""), std::nullopt);          // not SQLite's private temporary database

    test::writeFile(dir / "garbage.sqlite", std::string(4096, 'x'));
    EXPECT_EQ(read(dir / "garbage.sqlite"), Library{});

    { Database empty(dir / "empty.sqlite"); }
    EXPECT_EQ(read(dir / "empty.sqlite"), Library{});

    {
        Database assetsOnly(dir / "assets.sqlite");
        assetsOnly.exec(
            "CREATE TABLE asset (portable_id TEXT, rating REAL, color INTEGER, bpm REAL,"
            "                    dj_play_count INT);"
            "INSERT INTO asset VALUES ('k', NULL, 5, NULL, NULL)");
    }
    EXPECT_EQ(read(dir / "assets.sqlite"), (Library{{{"k", {{}, 5, {}, {}}}}, {}}));
}

TEST(SeratoSqlRead, LockedDatabaseGivesFewerEntriesWithoutWaiting) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    Database db(file, Schema::minimal);
    db.addAsset("a", 0.5, null, null, null);
    db.exec("BEGIN EXCLUSIVE");
    const auto start = Clock::now();
    EXPECT_EQ(read(file), Library{});
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    db.exec("ROLLBACK");
    EXPECT_EQ(read(file)->assets.size(), 1u);
}

// ---- apply, on both schemas ----

class SeratoSqlApply : public ::testing::TestWithParam<Schema> {
  protected:
    TempDir dir;
    fs::path file = dir / "master.sqlite";
    Database db{file, GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Schemas, SeratoSqlApply,
                         ::testing::Values(Schema::serato, Schema::minimal), [](const auto& test) {
                             return test.param == Schema::serato ? "Serato" : "Minimal";
                         });

TEST_P(SeratoSqlApply, AbsentRatingAndColorClearAbsentPlayCountKeepsBpmNeverWritten) {
    struct Case {
        const char* label;
        AssetMeta meta;
        const char* expected;  // from rating 0.5, color 3, bpm 120.0, play count 9
    };
    const std::vector<Case> cases{
        {"only play count", {{}, {}, {}, 7}, "NULL|NULL|120.0|7"},
        {"only rating", {0.25, {}, {}, {}}, "0.25|NULL|120.0|9"},
        {"only color", {{}, 16711680, {}, {}}, "NULL|16711680|120.0|9"},
        {"nothing", {}, "NULL|NULL|120.0|9"},
        {"everything", {1.0, 0, 99.0, 0}, "1.0|0|120.0|0"},
    };
    Library library;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string key = "asset-" + std::to_string(i);
        db.addAsset(key, 0.5, std::int64_t{3}, 120.0, std::int64_t{9});
        library.assets[key] = cases[i].meta;
    }
    db.addAsset("untouched", 0.5, std::int64_t{3}, 120.0, std::int64_t{9});
    library.assets["no such asset"] = {1.0, 1, 1.0, 1};

    EXPECT_EQ(apply(library, file),
              (ApplyResult{static_cast<std::int64_t>(cases.size()), 0, std::nullopt}));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(db.asset("asset-" + std::to_string(i)), cases[i].expected) << cases[i].label;
    }
    EXPECT_EQ(db.asset("untouched"), "0.5|3|120.0|9");
}

TEST_P(SeratoSqlApply, SmartCrateGoesToExactNameBeforePrefixMatch) {
    // SQLite returns "House Classics" first for LIKE 'House%' (rowid order on the minimal
    // table, top-level names before nested ones in Serato's unique index): only the exact
    // lookup keeps it from taking the rules of "House".
    const auto classics = db.addContainer("House Classics");
    const auto house = db.addContainer("House", 2, db.addContainer("Genres", 1));
    db.addRules(classics, "classics", 5);
    db.addRules(house, "old house", 5);
    const Library library{{}, {{"House", "new house"}, {"House Classics", "new classics"}}};

    EXPECT_EQ(apply(library, file), (ApplyResult{0, 2, std::nullopt}));
    EXPECT_EQ(db.rules(house), "1|new house");
    EXPECT_EQ(db.rules(classics), "1|new classics");
}

TEST_P(SeratoSqlApply, SmartCrateFallsBackToCaseInsensitivePrefixOfTypeTwo) {
    const auto plainCrate = db.addContainer("Techno", 1);
    const auto classics = db.addContainer("House Classics");
    const Library library{{},
                          {{"house", "by prefix"},  // no exact "house": LIKE, ASCII case ignored
                           {"Techno", "type 1 only"},
                           {"Nowhere", "no container"}}};

    EXPECT_EQ(apply(library, file), (ApplyResult{0, 1, std::nullopt}));
    EXPECT_EQ(db.rules(classics), "1|by prefix");
    EXPECT_EQ(db.rules(plainCrate), "");
}

TEST_P(SeratoSqlApply, EmptyCrateNameIsSkippedNotMatchedAsWildcard) {
    const auto only = db.addContainer("Only");
    db.addRules(only, "keep me", 3);
    const Library library{{}, {{"", "lost"}, {std::string("\0Only", 5), "lost too"}}};

    EXPECT_EQ(apply(library, file), (ApplyResult{0, 0, std::nullopt}));
    EXPECT_EQ(db.rules(only), "3|keep me");
}

TEST_P(SeratoSqlApply, QuotesAndSqlTextInKeysAndNamesAreBoundNotSpliced) {
    const std::string key = "it's \"x\"'; DROP TABLE asset; --";
    const std::string name = "O'Brien'); DELETE FROM container; --";
    db.addAsset(key, null, null, null, null);
    const auto crate = db.addContainer(name);
    const Library library{{{key, {0.75, 2, {}, 4}}}, {{name, "it's 'rules'"}}};

    EXPECT_EQ(apply(library, file), (ApplyResult{1, 1, std::nullopt}));
    EXPECT_EQ(db.asset(key), "0.75|2|NULL|4");
    EXPECT_EQ(db.rules(crate), "1|it's 'rules'");
    EXPECT_EQ(db.query("SELECT count(*) FROM container"), "1");
}

// ---- apply, one schema ----

TEST(SeratoSqlApplyCheck, RatingRefusedBySeratoCheckIsNotCountedOthersCommitted) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    Database db(file, Schema::serato);
    db.addAsset("bad", 0.5, std::int64_t{3}, null, std::int64_t{9});
    db.addAsset("good", null, null, null, null);
    db.addContainer("Deep");
    const Library library{{{"bad", {4.0, 1, {}, 1}}, {"good", {0.8, {}, {}, 2}}},
                          {{"Deep", "rules"}}};

    EXPECT_EQ(apply(library, file), (ApplyResult{1, 1, std::nullopt}));
    EXPECT_EQ(db.asset("bad"), "0.5|3|NULL|9");  // the whole refused update left nothing behind
    EXPECT_EQ(db.asset("good"), "0.8|NULL|NULL|2");
}

TEST(SeratoSqlApplyCheck, MinimalTableTakesAnyRatingAndCountsEveryMatchingRow) {
    TempDir dir;
    const auto file = dir / "master.sqlite";
    Database db(file, Schema::minimal);
    db.addAsset("twice", 0.5, null, null, std::int64_t{9});
    db.addAsset("twice", 0.5, null, null, null);
    EXPECT_EQ(apply(Library{{{"twice", {4.0, {}, {}, {}}}}, {}}, file),
              (ApplyResult{2, 0, std::nullopt}));
    EXPECT_EQ(db.query("SELECT group_concat(quote(rating)||'/'||quote(dj_play_count)) FROM asset"),
              "4.0/9,4.0/NULL");
}

TEST(SeratoSqlApplyOpen, UnopenableFileGivesTheErrorAndCreatesNothing) {
    TempDir dir;
    const ApplyResult failure{
        0, 0, "Couldn't open Serato's database. Make sure Serato is completely quit."};
    const Library library{{{"a", {0.5, {}, {}, {}}}}, {{"Deep", "r"}}};
    EXPECT_EQ(apply(library, dir / "missing.sqlite"), failure);
    EXPECT_FALSE(fs::exists(dir / "missing.sqlite"));
    EXPECT_EQ(apply(library, dir.path()), failure);
    EXPECT_EQ(apply(library, ""), failure);

    // A file that opens but is no database: statements fail, which only shows in the counts.
    test::writeFile(dir / "garbage.sqlite", std::string(4096, 'x'));
    EXPECT_EQ(apply(library, dir / "garbage.sqlite"), (ApplyResult{0, 0, std::nullopt}));
}

// ---- apply against other connections' locks ----

class SeratoSqlApplyLocked : public ::testing::Test {
  protected:
    void SetUp() override {
        db.addAsset("a", 0.5, null, null, null);
        db.addContainer("Deep");
    }
    TempDir dir;
    fs::path file = dir / "master.sqlite";
    Database db{file, Schema::minimal};
    Database holder{file};  // the other program
};

TEST_F(SeratoSqlApplyLocked, ShortLockIsWaitedOut) {
    holder.exec("BEGIN EXCLUSIVE");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.exec("COMMIT");
    });
    const auto result = apply(Library{{{"a", {1.0, {}, {}, {}}}}, {{"Deep", "r"}}}, file);
    release.join();
    EXPECT_EQ(result, (ApplyResult{1, 1, std::nullopt}));
    EXPECT_EQ(db.asset("a"), "1.0|NULL|NULL|NULL");
}

TEST_F(SeratoSqlApplyLocked, LockBeyondBusyTimeoutLowersCountsWithoutError) {
    holder.exec("BEGIN EXCLUSIVE");
    const auto start = Clock::now();
    const auto result = apply(Library{{{"a", {1.0, {}, {}, {}}}}, {}}, file);
    const auto elapsed = Clock::now() - start;
    holder.exec("ROLLBACK");
    EXPECT_EQ(result, (ApplyResult{0, 0, std::nullopt}));
    EXPECT_LT(elapsed, std::chrono::seconds(8)) << "the busy timeout is 3 s";
    EXPECT_EQ(db.asset("a"), "0.5|NULL|NULL|NULL");
}

TEST_F(SeratoSqlApplyLocked, CommitBlockedByReaderReportsNothingWritten) {
    holder.exec("BEGIN");
    EXPECT_EQ(holder.query("SELECT count(*) FROM asset"), "1");  // holds a shared lock until COMMIT
    const auto result = apply(Library{{{"a", {1.0, {}, {}, {}}}}, {{"Deep", "r"}}}, file);
    holder.exec("COMMIT");
    EXPECT_EQ(result, (ApplyResult{0, 0, std::nullopt}));
    EXPECT_EQ(db.asset("a"), "0.5|NULL|NULL|NULL");
    EXPECT_EQ(db.query("SELECT count(*) FROM smart_crate_rules"), "0");
}

}  // namespace
}  // namespace morrowdeck::SeratoSQL
