// The whole product on a demo library: make it, back it up, restore it into a fresh audio
// folder and Serato library, then apply the staged ratings to Serato's database.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "backup/backup_engine.h"
#include "library/serato_database.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/file_system.h"
#include "restore/apply_step.h"
#include "restore/restore_engine.h"
#include "run_cli.h"
#include "support/engine_harness.h"
#include "support/serato_sqlite.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

void collectLeaves(const std::vector<Crate::Ptr>& crates, std::vector<Crate::Ptr>& out) {
    for (const auto& crate : crates) {
        if (crate->isLeaf()) out.push_back(crate);
        collectLeaves(crate->children, out);
    }
}

std::vector<Crate::Ptr> leaves(const std::vector<Crate::Ptr>& forest) {
    std::vector<Crate::Ptr> out;
    collectLeaves(forest, out);
    return out;
}

// Crate path -> its tracks' file names, for every crate that has tracks.
std::map<std::string, Names> fileNamesByCrate(const std::vector<Crate::Ptr>& forest,
                                              bool sortedUnique) {
    std::map<std::string, Names> out;
    for (const auto& crate : leaves(forest)) {
        if (crate->tracks.empty()) continue;
        Names names;
        for (const auto& track : crate->tracks)
            names.push_back(fs::path(track).filename().native());
        if (sortedUnique) {
            std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
                return text::nfcKey(a) < text::nfcKey(b);
            });
            names.erase(std::unique(names.begin(), names.end()), names.end());
        }
        std::string key;
        for (const auto& component : crate->components)
            key += (key.empty() ? "" : "/") + component;
        out[key] = names;
    }
    return out;
}

// Field chunks of a record other than "pfil".
std::vector<std::pair<std::string, SeratoDatabase::Bytes>> withoutPath(
    SeratoDatabase::ByteView record) {
    std::vector<std::pair<std::string, SeratoDatabase::Bytes>> fields;
    SeratoDatabase::eachChunk(record, [&](std::string_view tag, SeratoDatabase::ByteView payload) {
        if (tag != "pfil")
            fields.emplace_back(tag, SeratoDatabase::Bytes(payload.begin(), payload.end()));
    });
    return fields;
}

struct Demo {
    TempDir dir;
    fs::path home = dir / "home";
    ScopedHome homeGuard{home};
    fs::path library = dir / "demo" / "_Serato_";
    std::vector<Crate::Ptr> forest;
    std::map<std::string, SeratoDatabase::Bytes> originalRecords;  // pfil -> record

    Demo() {
        const auto made =
            runProgram(MORROWDECK_DEMO_LIBRARY, {(dir / "demo").native(), "--tracks", "24"});
        EXPECT_EQ(made.status, 0) << made.err;
        forest = SeratoLibrary::loadCrates(library);
        const auto database = platform::readFile(library / "database V2");
        EXPECT_TRUE(database);
        for (auto& record : SeratoDatabase::records(*database))
            originalRecords[record.path] = record.record;
    }

    fs::path masterSqlite() const {
        return home / "Library/Application Support/Serato/Library/master.sqlite";
    }
};

RunRecord backUp(const Demo& demo, const fs::path& destination, const BackupOptions& options) {
    return runBackup(leaves(demo.forest), destination, options, demo.library / "database V2");
}

RunRecord restore(const fs::path& backup, const fs::path& audio, const fs::path& serato) {
    RestoreEngine engine(std::make_shared<ImmediateQueue>());
    return captureRun(
        engine,
        [&](auto onLog, auto onProgress, auto completion) {
            engine.run(backup, audio, serato, true, true, onLog, onProgress, completion);
        },
        std::function<void(RestoreEngine&, const LogEntry&)>{});
}

struct Mode {
    DuplicateMode duplicates;
    SmartCrateMode smart;
};

class RoundTrip : public testing::TestWithParam<Mode> {};

TEST_P(RoundTrip, CratesFilesAndRecordsComeBack) {
    Demo demo;
    ASSERT_FALSE(demo.forest.empty());
    BackupOptions options;
    options.duplicateMode = GetParam().duplicates;
    options.smartCrateMode = GetParam().smart;
    const fs::path backup = demo.dir / "backup";
    const auto backedUp = backUp(demo, backup, options);
    ASSERT_FALSE(backedUp.failed());
    ASSERT_EQ(backedUp.final().failedFiles, 0);
    ASSERT_EQ(backedUp.final().missingFiles, 0);

    const fs::path audio = demo.dir / "restored-audio";
    const fs::path serato = demo.dir / "restored-library";
    const auto restored = restore(backup, audio, serato);
    ASSERT_FALSE(restored.failed());
    EXPECT_EQ(restored.final().failedFiles, 0);
    const auto restoredForest = SeratoLibrary::loadCrates(serato / "_Serato_");

    // Plain crates come back with the same names and, per crate, the backup's files in order.
    auto expected = fileNamesByCrate(demo.forest, true);
    auto actual = fileNamesByCrate(restoredForest, false);
    for (const auto& crate : leaves(demo.forest)) {
        if (!crate->isSmart || crate->tracks.empty()) continue;
        std::string key;
        for (const auto& component : crate->components)
            key += (key.empty() ? "" : "/") + component;
        if (GetParam().smart == SmartCrateMode::rulesOnly) {
            // Restored as the same rule file, still listing the library's original paths.
            EXPECT_EQ(actual[key], fileNamesByCrate({crate}, false)[key]) << key;
            expected.erase(key);
            actual.erase(key);
        }
    }
    ASSERT_GE(expected.size(), 5u);
    EXPECT_EQ(actual, expected);

    // Every rebuilt record is Serato's own, with only its path changed to the restored copy.
    const auto database = platform::readFile(serato / "_Serato_" / "database V2");
    ASSERT_TRUE(database);
    const auto rebuilt = SeratoDatabase::records(*database);
    std::size_t restoredFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(audio)) {
        restoredFiles += entry.is_regular_file() && entry.path().extension() == ".wav";
    }
    EXPECT_GE(restoredFiles, 24u);
    EXPECT_EQ(rebuilt.size(), restoredFiles);  // one record per restored copy
    for (const auto& record : rebuilt) {
        EXPECT_TRUE(
            platform::isRegularFile("/" + record.path) ||
            platform::isRegularFile(SeratoLibrary::volumeMountPrefix(audio) + "/" + record.path))
            << record.path;
        bool matched = false;
        for (const auto& [path, original] : demo.originalRecords) {
            if (fs::path(path).filename() == fs::path(record.path).filename()) {
                EXPECT_EQ(withoutPath(record.record), withoutPath(original)) << record.path;
                matched = true;
            }
        }
        EXPECT_TRUE(matched) << record.path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RoundTrip,
    testing::Values(Mode{DuplicateMode::copyEverywhere, SmartCrateMode::rulesOnly},
                    Mode{DuplicateMode::dedupHardLink, SmartCrateMode::rulesOnly},
                    Mode{DuplicateMode::copyEverywhere, SmartCrateMode::asFolder},
                    Mode{DuplicateMode::dedupHardLink, SmartCrateMode::asFolder}));

TEST(RoundTripTags, RecordsFromTagsWithoutASnapshot) {
    Demo demo;
    const fs::path backup = demo.dir / "backup";
    ASSERT_FALSE(backUp(demo, backup, {}).failed());
    fs::remove(backup / ".morrowdeck" / "library.dbsnap");

    const auto restored = restore(backup, demo.dir / "audio", demo.dir / "serato");
    const auto database = platform::readFile(demo.dir / "serato" / "_Serato_" / "database V2");
    ASSERT_TRUE(database);
    const auto records = SeratoDatabase::records(*database);
    ASSERT_FALSE(records.empty());
    for (const auto& record : records) {
        std::set<std::string> tags;
        SeratoDatabase::eachChunk(
            record.record,
            [&](std::string_view tag, SeratoDatabase::ByteView) { tags.emplace(tag); });
        for (const char* tag :
             {"ttyp", "pfil", "tadd", "uadd", "utme", "ufsb", "tsiz", "tlen", "tsmp", "tbit"}) {
            EXPECT_TRUE(tags.contains(tag)) << tag << " in " << record.path;
        }
    }
    EXPECT_FALSE(
        restored.logged("Found library snapshot \u2014 restoring full metadata for 24 track(s)."));
}

TEST(RoundTripApply, RatingsReachTheRestoredLibrary) {
    Demo demo;
    // Serato's database on the machine that made the backup.
    std::size_t rated = 0;
    {
        SeratoSqlite db(demo.masterSqlite(), SeratoSqlite::Schema::serato);
        for (const auto& [path, record] : demo.originalRecords) {
            db.addAsset(path, "0.8", "255", "NULL", std::to_string(++rated));
        }
        db.addSmartCrate(40, "All House", "rules from the old machine");
    }
    const fs::path backup = demo.dir / "backup";
    ASSERT_FALSE(backUp(demo, backup, {}).failed());
    ASSERT_TRUE(platform::isRegularFile(backup / ".morrowdeck" / "serato.json"));

    // A new machine: Serato imports the restored library into a fresh database.
    fs::remove_all(demo.home);
    const fs::path serato = demo.dir / "new-library";
    const auto restored = restore(backup, demo.dir / "new-audio", serato);
    const auto database = platform::readFile(serato / "_Serato_" / "database V2");
    ASSERT_TRUE(database);
    std::size_t imported = 0;
    {
        SeratoSqlite db(demo.masterSqlite(), SeratoSqlite::Schema::serato);
        for (const auto& record : SeratoDatabase::records(*database)) {
            db.addAsset(record.path, "NULL", "NULL", "NULL", "NULL");
            ++imported;
        }
        db.addSmartCrate(3, "All House", "fresh");
    }
    const auto outcome = applyToSerato(serato, demo.dir / "no-proc");
    EXPECT_TRUE(outcome.applied) << outcome.message;
    EXPECT_EQ(outcome.assetsUpdated, static_cast<std::int64_t>(imported));
    EXPECT_EQ(outcome.rulesWritten, 1);
    SeratoSqlite check(demo.masterSqlite(), SeratoSqlite::Schema::existing);
    EXPECT_EQ(check.scalar("SELECT COUNT(*) FROM asset WHERE rating = 0.8 AND color = 255"),
              std::to_string(imported));
    EXPECT_EQ(check.scalar("SELECT rules FROM smart_crate_rules WHERE container_id = 3"),
              "rules from the old machine");
}

}  // namespace
}  // namespace morrowdeck::test
