// The backup engine end to end on real folders: layout, counters, texts, cancellation, and the
// Serato metadata kept beside the audio.
#include "backup/backup_engine.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "backup/backup_options.h"
#include "engine/backup_catalog.h"
#include "engine/replaced_runs.h"
#include "library/crate_writer.h"
#include "library/formatting.h"
#include "library/serato_database.h"
#include "platform/home_folder.h"
#include "support/engine_harness.h"
#include "support/fixtures.h"
#include "support/mount_guard.h"
#include "support/serato_sqlite.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using namespace nlohmann::literals;
using test::makeCrate;
using test::runBackup;
using Level = LogEntry::Level;
using Bytes = std::vector<std::uint8_t>;

// A music folder, a backup folder and a HOME of its own (the backup reads Serato's SQLite
// database from HOME).
struct Library {
    test::TempDir dir;
    fs::path music = dir / "Music";
    fs::path backup = dir / "Backup";
    fs::path home = dir / "home";
    test::ScopedHome homeFolder{home};

    std::string track(const std::string& name, std::size_t size = 1000, char seed = 'a') {
        test::writeFile(music / name, std::string(size, seed));
        return test::text(music / name);
    }
    fs::path metadata(const char* file) const { return backup / ".morrowdeck" / file; }
};

std::string summary(int copied, int linked, int skipped, int failed, int missing) {
    return std::string(failed + missing > 0 ? "Backup finished with issues" : "Backup complete") +
           " \u2014 " + std::to_string(copied) + " copied, " + std::to_string(linked) +
           " linked, " + std::to_string(skipped) + " up-to-date, " + std::to_string(failed) +
           " failed, " + std::to_string(missing) + " missing.";
}

// A backup through the given engine, whose problem list the test then reads.
test::RunRecord runOn(BackupEngine& engine, const std::vector<Crate::Ptr>& crates,
                      const fs::path& to, const BackupOptions& options = {}) {
    return test::captureRun<BackupEngine>(engine,
                                          [&](auto onLog, auto onProgress, auto done) {
                                              engine.run(crates, to, options, {}, onLog, onProgress,
                                                         done);
                                          },
                                          {});
}

TEST(BackupEngine, CopiesEveryCrateIntoItsFolder) {
    Library lib;
    const auto a = lib.track("a.mp3", 1000);
    const auto b = lib.track("b.mp3", 2000, 'b');
    const auto missing = test::text(lib.music / "gone.mp3");
    const auto record = runBackup(
        {makeCrate({"House"}, {a, b}), makeCrate({"House", "Deep"}, {b, missing})}, lib.backup);
    const auto& snap = record.final();
    EXPECT_EQ(snap.totalFiles, 3);
    EXPECT_EQ(snap.missingFiles, 1);
    EXPECT_EQ(snap.totalBytes, 5000);
    EXPECT_EQ(snap.processedBytes, 5000);
    EXPECT_TRUE(fs::is_regular_file(lib.backup / "House" / "a.mp3"));
    EXPECT_EQ(fs::file_size(lib.backup / "House" / "Deep" / "b.mp3"), 2000u);
    EXPECT_FALSE(fs::exists(lib.backup / "House" / "Deep" / "gone.mp3"));

    EXPECT_TRUE(record.logged("Planning backup of 2 crate(s) \u2192 " + test::text(lib.backup)));
    EXPECT_TRUE(record.logged("Missing source: " + missing));
    std::vector<std::string> phases;
    for (const auto& entry : record.snapshots)
        if (phases.empty() || phases.back() != entry.phase) phases.push_back(entry.phase);
    EXPECT_EQ(phases, (std::vector<std::string>{"Scanning crates\u2026", "Creating folders\u2026",
                                                "Copying files\u2026", "Done"}));
    EXPECT_EQ(record.log.back().message, summary(3, 0, 0, 0, 1));
    EXPECT_EQ(record.log.back().level, Level::warning);  // a missing file is no success
}

TEST(BackupEngine, DeduplicatesIntoTheStoreWithHardLinks) {
    Library lib;
    const auto a = lib.track("a.mp3", 10);
    BackupOptions options;
    options.duplicateMode = DuplicateMode::dedupHardLink;
    const auto record = runBackup(
        {makeCrate({"One"}, {a}), makeCrate({"Two"}, {a}), makeCrate({"Two", "Three"}, {a})},
        lib.backup, options);
    EXPECT_EQ(record.final().totalFiles, 4);
    EXPECT_EQ(record.final().totalBytes, 30);
    EXPECT_EQ(record.final().bytesToCopy, 10);
    EXPECT_EQ(record.final().processedBytes, 10);  // links add no bytes
    const fs::path stored = lib.backup / test::pathOf(test::storeCopy(a));
    EXPECT_EQ(test::linkCount(stored), 4u);
    EXPECT_TRUE(fs::equivalent(stored, lib.backup / "Two" / "Three" / "a.mp3"));
    EXPECT_EQ(record.log.back().message, summary(1, 3, 0, 0, 0));

    const auto again = runBackup({makeCrate({"One"}, {a})}, lib.backup, options);
    EXPECT_EQ(again.log.back().message, summary(0, 0, 2, 0, 0));  // the link is in place
}

TEST(BackupEngine, ReRunsCopyOnlyWhatChanged) {
    Library lib;
    const auto same = lib.track("same.mp3", 100);
    const auto grown = lib.track("grown.mp3", 100);
    const std::vector<Crate::Ptr> crates{makeCrate({"C"}, {same, grown})};
    runBackup(crates, lib.backup);
    lib.track("grown.mp3", 150, 'g');
    const auto changed = runBackup(crates, lib.backup);
    EXPECT_EQ(changed.log.back().message, summary(1, 0, 1, 0, 0));
    EXPECT_EQ(changed.final().skippedBytes, 100);
    EXPECT_EQ(changed.final().processedBytes, 150);

    lib.track("same.mp3", 300, 's');
    BackupOptions noVerify;
    noVerify.verifyExisting = false;  // whatever is there is kept
    EXPECT_EQ(runBackup(crates, lib.backup, noVerify).final().skippedFiles, 2);
    EXPECT_EQ(fs::file_size(lib.backup / "C" / "same.mp3"), 100u);
}

// Names Windows refuses are stored under their safe forms, and of two crate folders a
// case-ignoring file system would take for one the second gets its own; the catalog records
// each name stored in another form. Re-runs find those copies, and the copies an earlier
// version stored under the names themselves.
TEST(BackupEngine, StoresNamesWindowsRefusesUnderSafeNames) {
    MORROWDECK_SKIP_ON_WINDOWS("no source file there can carry a name Windows refuses");
    Library lib;
    const auto whyTrack = lib.track("Why?.mp3", 10);
    const auto con = lib.track("CON.mp3", 20);
    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    const std::vector<Crate::Ptr> crates{makeCrate({"AC:DC"}, {whyTrack, con}),
                                         makeCrate({"ac:dc"}, {whyTrack})};
    // The dry run and the run each say once, before copying, which names change.
    const auto told = BackupEngine(std::make_shared<test::ImmediateQueue>())
                          .preview(crates, lib.backup, dedup, {})
                          .notices;
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].starts_with("7 names stored in a safe form")) << told[0];
    EXPECT_NE(told[0].find("\u201CAC:DC\u201D \u2192 \u201CAC\uFF1ADC\u201D"), std::string::npos);
    EXPECT_TRUE(told[0].ends_with(" and 2 more.")) << told[0];
    const auto first = runBackup(crates, lib.backup, dedup);
    EXPECT_EQ(first.log.back().message, summary(2, 3, 0, 0, 0));
    EXPECT_EQ(std::count_if(first.log.begin(), first.log.end(),
                            [&](const auto& entry) { return entry.message == told[0]; }),
              1);
    const fs::path store = lib.backup / test::pathOf(test::storeCopy(test::text(lib.music)));
    const std::string why = "Why\uFF1F.mp3", acdc = "AC\uFF1ADC";
    EXPECT_TRUE(fs::equivalent(store / why, lib.backup / acdc / why));
    EXPECT_TRUE(fs::equivalent(store / "\uFF23ON.mp3", lib.backup / acdc / "\uFF23ON.mp3"));
    EXPECT_TRUE(fs::equivalent(store / why, lib.backup / "\u201Bac\uFF1Adc" / why));
    const auto catalog = BackupCatalog::decode(test::readBytes(lib.metadata("catalog.json")));
    ASSERT_TRUE(catalog);
    EXPECT_EQ(*catalog->crates, (std::vector<std::string>{"AC\uFF1ADC", "\u201Bac\uFF1Adc"}));
    EXPECT_EQ(catalog->tracks.front().file, "AC\uFF1ADC/Why\uFF1F.mp3");
    EXPECT_EQ(catalog->names, (std::map<std::string, std::string>{
                                  {"AC\uFF1ADC", "AC:DC"},
                                  {"AC\uFF1ADC/Why\uFF1F.mp3", "Why?.mp3"},
                                  {"AC\uFF1ADC/\uFF23ON.mp3", "CON.mp3"},
                                  {"\u201Bac\uFF1Adc", "ac:dc"},
                                  {"\u201Bac\uFF1Adc/Why\uFF1F.mp3", "Why?.mp3"}}));
    EXPECT_EQ(runBackup(crates, lib.backup, dedup).log.back().message, summary(0, 0, 5, 0, 0));

    // A backup an earlier version made holds the name itself, which a re-run keeps.
    const fs::path earlier = lib.dir / "Earlier";
    const std::vector<Crate::Ptr> one{makeCrate({"AC:DC"}, {whyTrack})};
    runBackup(one, earlier);
    fs::rename(earlier / acdc / why, earlier / acdc / "Why?.mp3");
    fs::rename(earlier / acdc, earlier / "AC:DC");
    const fs::path manifest = earlier / ".morrowdeck" / "manifest.tsv";
    std::string text = test::readText(manifest);
    text.replace(text.find(acdc + "/" + why), (acdc + "/" + why).size(), "AC:DC/Why?.mp3");
    test::writeFile(manifest, text);
    EXPECT_EQ(runBackup(one, earlier).log.back().message, summary(0, 0, 1, 0, 0));
    EXPECT_FALSE(fs::exists(earlier / acdc));

    // An exFAT drive refuses the names themselves.
    test::ExfatFuseMount drive(lib.dir / "exfat.img", lib.dir / "Drive");
    if (!drive.skipReason().empty()) GTEST_SKIP() << drive.skipReason();
    EXPECT_EQ(runBackup(one, lib.dir / "Drive").log.back().message, summary(1, 0, 0, 0, 0));
    EXPECT_TRUE(fs::is_regular_file(lib.dir / "Drive" / acdc / why));
}

// The bytes logged before copying never exceed what the run writes: an upper bound while the
// destinations are unread, the true figure once a fit check has read them.
TEST(BackupEngine, LogsWhatItWritesAtMost) {
    Library lib;
    test::TmpfsMount small(lib.backup, "size=256k");
    if (!small.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    const std::vector crates{makeCrate({"C"}, {lib.track("a.mp3", 150 * 1024)})};
    const auto first = runBackup(crates, lib.backup);
    const auto free = [](const test::RunRecord& record) {
        for (const auto& entry : record.log)
            if (const auto at = entry.message.find(" \u2022 Free on destination: ");
                at != std::string::npos)
                return entry.message.substr(0, at);
        return std::string("(none)");
    };
    EXPECT_EQ(free(first), "Up to 154 KB to write");
    // The copy leaves less free than the file: the fit check reads the destination, which
    // has it already, and the run writes nothing.
    const auto again = runBackup(crates, lib.backup);
    EXPECT_EQ(free(again), "To write: " + text::formatByteCount(0));
    EXPECT_FALSE(again.logged("Destination may not have enough free space for a full copy."));
    EXPECT_EQ(again.log.back().message, summary(0, 0, 1, 0, 0));
}

// A file larger than the destination's file system stores (FAT's 4 GiB, shrunk here) fails
// in planning, in the dry run as in the run, and nothing of it is written.
TEST(BackupEngine, FileTooLargeForTheDriveFailsBeforeCopying) {
    Library lib;
    const auto small = lib.track("small.mp3", 10);
    const auto large = lib.track("large.wav", 30);
    const auto fat = [](const fs::path&) { return std::optional<std::int64_t>(20); };
    const std::vector crates{makeCrate({"C"}, {small, large})};
    BackupEngine planner(std::make_shared<test::ImmediateQueue>());
    planner.setLargestFile(fat);
    const auto preview = planner.preview(crates, lib.backup, {}, {});
    EXPECT_EQ(preview.total().filesToCopy, 1);
    ASSERT_EQ(preview.total().problems.size(), 1u);
    EXPECT_EQ(preview.total().problems[0].kind, RunProblem::Kind::failed);
    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    engine.setLargestFile(fat);
    EXPECT_EQ(runOn(engine, crates, lib.backup).log.back().message, summary(1, 0, 0, 1, 0));
    EXPECT_TRUE(fs::exists(lib.backup / "C" / "small.mp3"));
    EXPECT_FALSE(fs::exists(lib.backup / "C" / "large.wav"));
}

// Source facts known from an earlier plan are used as they are (a file gone since still
// counts as there until the facts are dropped), and a plan adds the facts it learnt.
TEST(BackupEngine, PreviewReusesKnownSourceFacts) {
    Library lib;
    const auto a = lib.track("a.mp3", 1000);
    const auto b = lib.track("b.mp3", 2000);
    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    SourceFacts known;
    EXPECT_EQ(engine.preview({makeCrate({"A"}, {a})}, lib.backup, {}, {}, &known)
                  .total().filesToCopy, 1);
    ASSERT_EQ(known.byPath.size(), 1u);
    fs::remove(a);
    const auto both = engine.preview({makeCrate({"A"}, {a}), makeCrate({"B"}, {b})},
                                     lib.backup, {}, {}, &known);
    EXPECT_EQ(both.total().filesToCopy, 2);
    EXPECT_EQ(known.byPath.size(), 2u);
    EXPECT_EQ(engine.preview({makeCrate({"A"}, {a})}, lib.backup, {}, {}).total().problems.size(),
              1u);
}

// A re-run moves each file it replaces into the run's folder of kept files, and prunes the
// oldest kept runs beyond the number to keep: never its own, even when a folder from a wrong
// clock looks newer, and never folders of other names.
TEST(BackupEngine, KeepsWhatAReRunReplaces) {
    Library lib;
    const auto a = lib.track("a.mp3", 100, 'a');
    const std::vector<Crate::Ptr> crates{makeCrate({"C"}, {a, lib.track("b.mp3")})};
    runBackup(crates, lib.backup);
    const fs::path replaced = lib.backup / ".morrowdeck" / "Replaced";
    for (const char* old :
         {"2001-01-01 00.00.01", "2099-01-01 00.00.02", "2024-13-45 99.99.99", "not a run"})
        test::writeFile(replaced / old / "C" / "x.mp3", "x");

    lib.track("a.mp3", 150, 'g');
    BackupOptions keepOne;
    keepOne.keepReplaced = 1;
    const auto rerun = runBackup(crates, lib.backup, keepOne);
    auto runs = ReplacedRuns::list(lib.backup);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].name.ends_with("Z"));  // named in UTC
    EXPECT_TRUE(fs::exists(replaced / "not a run"));
    EXPECT_TRUE(fs::exists(replaced / "2024-13-45 99.99.99"));
    for (const char* old : {"2001-01-01 00.00.01", "2001-01-01 00.00.03"})
        test::writeFile(replaced / old / "C" / "x.mp3", "x");
    runs = ReplacedRuns::list(lib.backup);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2].files, std::vector<std::string>{"C/a.mp3"});
    EXPECT_EQ(test::readText(replaced / runs[2].name / "C" / "a.mp3"), std::string(100, 'a'));
    EXPECT_EQ(test::readText(lib.backup / "C" / "a.mp3"), std::string(150, 'g'));
    EXPECT_TRUE(
        rerun.logged("Kept 1 replaced file(s) in .morrowdeck/Replaced/" + runs[2].name + "."));

    BackupOptions keepNone;
    keepNone.keepReplaced = 0;
    lib.track("a.mp3", 200, 'h');
    runBackup(crates, lib.backup, keepNone);
    EXPECT_EQ(ReplacedRuns::list(lib.backup).size(), 3u);
    EXPECT_EQ(test::readText(replaced / runs[2].name / "C" / "a.mp3"), std::string(100, 'a'));
}

// With links, the store file is replaced in place and its old data is kept through the crate
// folders' links, each moved aside when re-linked; a store file no link holds is kept itself.
TEST(BackupEngine, KeepsWhatADedupReRunReplaces) {
    Library lib;
    const auto a = lib.track("a.mp3", 10, 'a');
    const auto b = lib.track("b.mp3", 10, 'b');
    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    const std::vector<Crate::Ptr> crates{makeCrate({"One"}, {a, b}), makeCrate({"Two"}, {a})};
    runBackup(crates, lib.backup, dedup);
    fs::remove(lib.backup / "One" / "b.mp3");
    lib.track("a.mp3", 20, 'A');
    lib.track("b.mp3", 20, 'B');
    EXPECT_EQ(runBackup(crates, lib.backup, dedup).log.back().message, summary(2, 3, 0, 0, 0));

    const auto runs = ReplacedRuns::list(lib.backup);
    ASSERT_EQ(runs.size(), 1u);
    const std::string storedB = test::storeCopy(b);
    EXPECT_EQ(runs[0].files, (std::vector<std::string>{storedB, "One/a.mp3", "Two/a.mp3"}));
    const fs::path run = lib.backup / ".morrowdeck" / "Replaced" / runs[0].name;
    EXPECT_EQ(test::readText(run / "One" / "a.mp3"), std::string(10, 'a'));
    EXPECT_EQ(test::readText(run / test::pathOf(storedB)), std::string(10, 'b'));
    EXPECT_TRUE(fs::equivalent(run / "One" / "a.mp3", run / "Two" / "a.mp3"));
    const fs::path stored = lib.backup / test::pathOf(test::storeCopy(a));
    EXPECT_EQ(test::readText(stored), std::string(20, 'A'));
    EXPECT_EQ(test::linkCount(stored), 3u);
}

TEST(BackupEngine, NeverWritesOverAFileOfTheLibrary) {
    Library lib;
    const auto house = lib.track("House/track.wav", 100, 'h');
    const auto download = lib.track("Downloads/track.wav", 200, 'd');
    // Backed up into the music folder itself, the crate's folder is Music/House, and the
    // track of House/track.wav is listed by another crate.
    const auto run = runBackup(
        {makeCrate({"House"}, {download}), makeCrate({"Other"}, {house})}, lib.music);
    EXPECT_EQ(test::readText(house), std::string(100, 'h'));
    EXPECT_TRUE(
        run.logged("Copy failed: track.wav \u2014 " + house + " is a source of this backup"));
    EXPECT_EQ(run.log.back().message, summary(1, 0, 0, 1, 0));
}

TEST(BackupEngine, StartChecksAndNothingToCopy) {
    Library lib;
    const auto a = lib.track("a.mp3");
    EXPECT_EQ(runBackup({}, lib.backup).failure(), "No crates are selected to back up.");
    EXPECT_FALSE(fs::exists(lib.backup));
    test::writeFile(lib.dir / "file", "x");
    EXPECT_NE(runBackup({makeCrate({"C"}, {a})}, lib.dir / "file" / "B")
                  .failure()
                  .find("Not a directory"),
              std::string::npos);

    const auto nothing =
        runBackup({makeCrate({"C"}, {test::text(lib.music / "x.mp3")}), makeCrate({"Empty"}, {})},
                  lib.backup);
    EXPECT_EQ(nothing.final().missingFiles, 1);
    EXPECT_TRUE(
        nothing.logged("Nothing to copy \u2014 selected crates reference no existing files."));
    EXPECT_TRUE(fs::is_empty(lib.backup));

    test::TmpfsMount readOnly(lib.dir / "ro", "ro,size=64k");
    if (!readOnly.ok()) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    EXPECT_EQ(runBackup({makeCrate({"C"}, {a})}, lib.dir / "ro").failure(),
              "The destination " + test::text(lib.dir / "ro") + " is not writable.");
}

TEST(BackupEngine, SmartCrates) {
    Library lib;
    const auto a = lib.track("a.mp3");
    test::writeFile(lib.dir / "SmartCrates" / "Techno.scrate", "rules");
    const auto techno =
        makeCrate({"Smart Crates", "Techno"}, {a}, true, lib.dir / "SmartCrates" / "Techno.scrate");
    const auto gone =
        makeCrate({"Smart Crates", "Gone"}, {a}, true, lib.dir / "SmartCrates" / "Gone.scrate");
    const auto rules = runBackup({techno, gone, makeCrate({"Empty"}, {})}, lib.backup);
    EXPECT_EQ(rules.log.back().message, summary(1, 0, 0, 0, 1));
    EXPECT_TRUE(rules.logged("Missing Smart Crate file: Gone"));
    EXPECT_TRUE(fs::is_regular_file(lib.backup / "Smart Crates" / "Techno.scrate"));
    EXPECT_TRUE(fs::is_regular_file(lib.backup / "Smart Crates" / "HOW TO RESTORE.txt"));
    EXPECT_FALSE(fs::exists(lib.backup / "Smart Crates" / "Techno"));
    EXPECT_TRUE(fs::is_directory(lib.backup / "Empty"));  // an empty crate still gets its folder

    BackupOptions asFolder;
    asFolder.smartCrateMode = SmartCrateMode::asFolder;
    runBackup({techno}, lib.dir / "Other", asFolder);
    EXPECT_TRUE(fs::is_regular_file(lib.dir / "Other" / "Smart Crates" / "Techno" / "a.mp3"));
    EXPECT_FALSE(fs::exists(lib.dir / "Other" / "Smart Crates" / "HOW TO RESTORE.txt"));
}

TEST(BackupEngine, NothingIsWrittenOutsideTheDestination) {
    Library lib;
    const auto a = lib.track("a.mp3");
    const std::string escaping = test::text(lib.music / ".." / "Music" / "a.mp3");
    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    const auto record = runBackup({makeCrate({".."}, {a}), makeCrate({"A", "", "B"}, {a}),
                                   makeCrate({"Fine"}, {a, escaping})},
                                  lib.backup, dedup);
    EXPECT_EQ(record.final().missingFiles, 3);  // both unsafe crates' entries, the climbing path
    EXPECT_TRUE(record.logged("Skipped crate with a name that cannot be a folder: .."));
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(lib.dir.path()))
        files += entry.is_regular_file();
    // The source, its stored copy, that copy's link in Fine, the catalog and the manifest.
    EXPECT_EQ(files, 5u);
}

// A cancelled run ends with one warning line; what a stage did not start, it does not write.
TEST(BackupEngine, Cancellation) {
    const struct {
        const char* at;  // the start of the log line that cancels
        std::int64_t total, completed;
        bool linkPhase;
    } cases[] = {{"Planning backup of 2 crate(s)", 0, 0, false},
                 {"Copy failed: t0.mp3 \u2014 File exists", 5, 1, false},
                 {"Linking duplicates\u2026", 5, 2, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at);
        Library l;
        BackupOptions options;
        options.threadCount = 1;
        options.duplicateMode = DuplicateMode::dedupHardLink;
        const auto t0 = l.track("t0.mp3");
        const auto t1 = l.track("t1.mp3");
        fs::create_directories(l.backup / test::pathOf(test::storeCopy(t0)));  // its copy fails
        const auto record =
            runBackup({makeCrate({"A"}, {t0, t1}), makeCrate({"B"}, {t1})}, l.backup, options, {},
                      [&](BackupEngine& e, const LogEntry& entry) {
                          if (entry.message.starts_with(c.at)) e.cancel();
                      });
        EXPECT_TRUE(record.final().cancelled);
        EXPECT_EQ(record.final().totalFiles, c.total);
        EXPECT_EQ(record.final().completedFiles, c.completed);
        EXPECT_EQ(record.logged("Linking duplicates\u2026"), c.linkPhase);
        EXPECT_EQ(fs::exists(l.backup / "A"), c.total > 0);  // no folders before planning ends
        EXPECT_FALSE(fs::exists(l.backup / "B" / "t1.mp3"));
        EXPECT_EQ(record.log.back().message, "Backup cancelled.");
        EXPECT_EQ(record.log.back().level, Level::warning);
    }
}

// A run whose bytes to copy exceed the free space stops before writing anything, unless a
// partial backup is allowed: then the files that do not fit fail and are listed as such.
TEST(BackupEngine, FullDestination) {
    Library lib;
    test::TmpfsMount small(lib.backup, "size=256k");
    if (!small.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    BackupOptions options;
    options.threadCount = 1;
    const std::vector crates{
        makeCrate({"C"}, {lib.track("big.mp3", 400 * 1024), lib.track("small.mp3", 10)})};
    // The small file takes a whole page of the tmpfs.
    EXPECT_EQ(runBackup(crates, lib.backup, options).failure(),
              "Not enough space on Backup: 414 KB needed, 262 KB free.");
    EXPECT_TRUE(fs::is_empty(lib.backup));

    options.allowPartial = true;
    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    const auto record = runOn(engine, crates, lib.backup, options);
    EXPECT_TRUE(record.logged("Destination may not have enough free space for a full copy."));
    EXPECT_EQ(record.log.back().message, summary(1, 0, 0, 1, 0));
    const auto problems = engine.reporter().problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].path, test::text(lib.backup / "C" / "big.mp3"));
    EXPECT_EQ(problems[0].kind, RunProblem::Kind::failed);
    EXPECT_EQ(problems[0].message, "No space left on device");
}

// The copies are flushed to the drive before the manifest that vouches for them is written; a
// flush that fails is a failed write, and the previous manifest stays as it was.
TEST(BackupEngine, FlushesTheFilesBeforeTheManifest) {
    Library lib;
    const auto manifest = lib.metadata("manifest.tsv");
    const auto a = lib.track("a.mp3");
    std::vector<Crate::Ptr> crates{makeCrate({"C"}, {a})};
    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    bool copied = false, manifestThere = true;
    engine.setDataSync([&] {
        copied = fs::exists(lib.backup / "C" / "a.mp3");
        manifestThere = fs::exists(manifest);
        return 0;
    });
    EXPECT_EQ(runOn(engine, crates, lib.backup).log.back().message, summary(1, 0, 0, 0, 0));
    EXPECT_TRUE(copied && !manifestThere);
    const std::string before = test::readText(manifest);
    EXPECT_NE(before.find("C/a.mp3"), std::string::npos);

    crates = {makeCrate({"C"}, {a, lib.track("b.mp3")})};
    BackupEngine failing(std::make_shared<test::ImmediateQueue>());
    failing.setDataSync([] { return EIO; });
    const auto record = runOn(failing, crates, lib.backup);
    EXPECT_EQ(record.log.back().message, summary(1, 0, 1, 1, 0));
    EXPECT_TRUE(record.logged("Couldn't flush " + test::text(lib.backup) +
                              " to the drive: Input/output error"));
    EXPECT_EQ(failing.reporter().problems(),
              (std::vector<RunProblem>{{test::text(lib.backup), RunProblem::Kind::failed,
                                        "not saved to the drive: Input/output error"}}));
    EXPECT_EQ(test::readText(manifest), before);
}

// A drive formatted exFAT and mounted through FUSE keeps whole seconds: a re-run still finds
// its fresh copies up to date, copies nothing and keeps no replaced file; the preview agrees.
TEST(BackupEngine, ReRunsOnAnExfatFuseDriveCopyNothing) {
    Library lib;
    test::ExfatFuseMount drive(lib.dir / "exfat.img", lib.backup);
    if (!drive.skipReason().empty()) GTEST_SKIP() << drive.skipReason();
    const std::vector crates{makeCrate({"C"}, {lib.track("a.mp3"), lib.track("b.mp3", 10)}),
                             makeCrate({"D"}, {lib.track("c.mp3", 20)})};
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
        ASSERT_TRUE(test::setModifiedTime(lib.music / name, 1'600'000'001, 500'000'000));
    }
    EXPECT_EQ(runBackup(crates, lib.backup).log.back().message, summary(3, 0, 0, 0, 0));
    EXPECT_EQ(runBackup(crates, lib.backup).log.back().message, summary(0, 0, 3, 0, 0));
    EXPECT_TRUE(ReplacedRuns::list(lib.backup).empty());
    const auto preview =
        BackupEngine(std::make_shared<test::ImmediateQueue>()).preview(crates, lib.backup, {}, {});
    EXPECT_EQ(preview.total().filesToCopy, 0);
    EXPECT_EQ(preview.total().filesUpToDate, 3);
    for (const auto& entry : fs::directory_iterator(lib.backup))
        EXPECT_FALSE(platform::isTemporaryName(test::text(entry.path().filename())))
            << entry.path();
}

// The plan per crate before a run and after one with a source changed since: files and bytes
// still to copy, those up to date, and the tracks left out, which the run itself lists alike.
// Planning writes nothing.
TEST(BackupEngine, PreviewCountsEachCrate) {
    Library lib;
    const auto a = lib.track("a.mp3", 1000);
    const auto b = lib.track("b.mp3", 2000, 'b');
    const auto gone = test::text(lib.music / "gone.mp3");
    const std::vector crates{makeCrate({"House"}, {a, b}), makeCrate({"House", "Deep"}, {b, gone}),
                             makeCrate({".."}, {a})};
    using Kind = RunProblem::Kind;
    const std::vector<RunProblem> leftOut{
        {gone, Kind::missing, "Source not found"},
        {a, Kind::skippedUnsafe, "Skipped crate with a name that cannot be a folder: .."}};
    struct Row {
        std::int64_t toCopy, bytesToCopy, upToDate, bytesUpToDate;
        std::size_t problems;
    };
    const auto expect = [&](const std::vector<Row>& rows) {
        const auto preview = BackupEngine(std::make_shared<test::ImmediateQueue>())
                                 .preview(crates, lib.backup, {}, {});
        ASSERT_EQ(preview.crates.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& crate = preview.crates[i];
            EXPECT_EQ(crate.filesToCopy, rows[i].toCopy) << i;
            EXPECT_EQ(crate.bytesToCopy, rows[i].bytesToCopy) << i;
            EXPECT_EQ(crate.filesUpToDate, rows[i].upToDate) << i;
            EXPECT_EQ(crate.bytesUpToDate, rows[i].bytesUpToDate) << i;
            EXPECT_EQ(crate.problems.size(), rows[i].problems) << i;
        }
        EXPECT_EQ(preview.crates[1].name, "House/Deep");
        EXPECT_EQ(preview.total().problems, leftOut);
        EXPECT_TRUE(preview.freeBytes && preview.fits());
    };
    expect({{2, 3000, 0, 0, 0}, {1, 2000, 0, 0, 1}, {0, 0, 0, 0, 1}});
    EXPECT_FALSE(fs::exists(lib.backup));

    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    runOn(engine, crates, lib.backup);
    EXPECT_EQ(engine.reporter().problems(), leftOut);
    lib.track("a.mp3", 1001);
    expect({{1, 1001, 1, 2000, 0}, {0, 0, 1, 2000, 1}, {0, 0, 0, 0, 1}});
}

// Many small files fit by their bytes but not by the space they take: the fit check goes by
// whole allocation units of the destination, the plan still shows the files' bytes.
TEST(BackupEngine, TheFitCheckAllowsForTheAllocationUnit) {
    Library lib;
    test::TmpfsMount small(lib.backup, "size=1m");
    if (!small.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::vector<std::string> tracks;
    for (int i = 0; i < 300; ++i)
        tracks.push_back(lib.track("t" + std::to_string(i) + ".mp3", 2000));  // 600 KB in all
    const std::vector crates{makeCrate({"C"}, tracks)};
    const auto preview =
        BackupEngine(std::make_shared<test::ImmediateQueue>()).preview(crates, lib.backup, {}, {});
    EXPECT_EQ(preview.total().bytesToCopy, 600'000);
    EXPECT_FALSE(preview.fits());
    EXPECT_EQ(runBackup(crates, lib.backup).failure(),
              "Not enough space on Backup: 1.2 MB needed, 1 MB free.");
    EXPECT_TRUE(fs::is_empty(lib.backup));
}

// A backup of one crate whose library folder is lib.dir/_Serato_, so that its crate order and
// database are captured too.
test::RunRecord runWithLibraryFolder(BackupEngine& engine, const Library& lib,
                                     const Crate::Ptr& crate) {
    return test::captureRun<BackupEngine>(
        engine,
        [&](auto onLog, auto onProgress, auto done) {
            engine.run({crate}, lib.backup, {}, lib.dir / "_Serato_" / "database V2", onLog,
                       onProgress, done);
        },
        {});
}

// The catalog names the library it backed up and keeps what a library recorded earlier had
// while that library's drive is away: a re-run without the drive loses nothing and says so.
TEST(BackupMetadata, RecordsTheLibraryAndKeepsADriveNotConnected) {
    Library lib;
    const auto a = lib.track("a.mp3");
    const Crate::Ptr house = makeCrate({"House"}, {a});
    BackupCatalog earlier;
    BackupCatalog::Member usb;
    usb.name = "USB";
    usb.library = test::text(lib.dir / "gone" / "_Serato_");
    usb.lastBackedUp = "2026-01-02T03:04:05Z";
    earlier.members = {usb};
    earlier.crates = {"House", "Gigs"};
    earlier.tracks = {{"House/u.mp3", "Music/u.mp3"}, {"Gigs/g.mp3", "Music/g.mp3"}};
    const auto encoded = earlier.encode();
    test::writeFile(lib.metadata("catalog.json"), std::string(encoded.begin(), encoded.end()));
    test::writeFile(lib.backup / "House" / "u.mp3", "usb");
    test::writeFile(lib.backup / "Gigs" / "g.mp3", "usb");

    const fs::path homeLibrary = lib.home / "Music" / "_Serato_";
    fs::create_directories(homeLibrary);
    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    const auto record = test::captureRun<BackupEngine>(
        engine,
        [&](auto onLog, auto onProgress, auto done) {
            engine.run({house}, lib.backup, {}, homeLibrary / "database V2", onLog, onProgress,
                       done);
        },
        {});
    EXPECT_TRUE(record.logged("USB is not connected \u2014 last backed up 2026-01-02."));
    EXPECT_EQ(record.log.back().message, summary(1, 0, 0, 0, 0));
    const auto catalog = BackupCatalog::decode(test::readBytes(lib.metadata("catalog.json")));
    ASSERT_TRUE(catalog);
    ASSERT_EQ(catalog->members.size(), 2u);
    EXPECT_EQ(catalog->members[0].name, "home");
    EXPECT_EQ(catalog->members[0].library, test::text(homeLibrary));
    EXPECT_EQ(catalog->members[1], usb);
    EXPECT_EQ(catalog->tracks.size(), 3u);
    EXPECT_EQ(*catalog->crates, (std::vector<std::string>{"House", "Gigs"}));
    EXPECT_EQ(test::readText(lib.backup / "Gigs" / "g.mp3"), "usb");
}

// A library that spans the computer and a drive: one crate holds tracks of both, each
// recorded with its library and its path as that library stores it, and each library's crate
// file and crate order are kept apart.
TEST(BackupMetadata, KeepsEachLibraryOfALibraryAcrossDrives) {
    Library lib;
    const fs::path drive = lib.dir / "Drive";
    test::TmpfsMount mounted(drive, "size=4m");
    if (!mounted.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const fs::path home = lib.home / "Music" / "_Serato_", usb = drive / "_Serato_";
    test::writeFile(drive / "Music" / "d.mp3", "drive");
    const auto h = lib.track("h.mp3");
    const auto d = test::text(drive / "Music" / "d.mp3");
    test::writeFile(home / "Subcrates" / "House.crate", "home crate");
    test::writeFile(usb / "Subcrates" / "House.crate", "drive crate");
    test::writeFile(home / "neworder.pref", "home order");
    test::writeFile(usb / "neworder.pref", "drive order");
    auto house = std::make_shared<Crate>(*makeCrate({"House"}, {h, d}));
    house->crateFiles = {home / "Subcrates" / "House.crate", usb / "Subcrates" / "House.crate"};

    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    engine.setLibraries({home, usb}, {{house.get(), {0, 1}}});
    const auto record = test::captureRun<BackupEngine>(
        engine,
        [&](auto onLog, auto onProgress, auto done) {
            engine.run({house}, lib.backup, {}, home / "database V2", onLog, onProgress, done);
        },
        {});
    EXPECT_EQ(record.log.back().message, summary(2, 0, 0, 0, 0));
    const auto catalog = BackupCatalog::decode(test::readBytes(lib.metadata("catalog.json")));
    ASSERT_TRUE(catalog);
    ASSERT_EQ(catalog->members.size(), 2u);
    EXPECT_EQ(catalog->members[1].name, "Drive");
    EXPECT_EQ(catalog->members[1].volumePrefix, test::text(drive));
    ASSERT_EQ(catalog->tracks.size(), 2u);
    EXPECT_EQ(catalog->tracks[0].member, 0u);
    EXPECT_EQ(catalog->tracks[1].member, 1u);
    EXPECT_EQ(catalog->tracks[1].source, "Music/d.mp3");
    EXPECT_EQ(test::readText(lib.metadata("Subcrates/House.crate")), "home crate");
    EXPECT_EQ(test::readText(lib.metadata("Libraries/Drive/Subcrates/House.crate")),
              "drive crate");
    EXPECT_EQ(test::readText(lib.metadata("neworder.pref")), "home order");
    EXPECT_EQ(test::readText(lib.metadata("Libraries/Drive/neworder.pref")), "drive order");
    EXPECT_EQ(test::readText(lib.backup / "House" / "d.mp3"), "drive");
}

// Serato's records, the catalog, the saved crate files, the crate order and the manifest are
// what a restore rebuilds the library from: each one that cannot be written is a failed file,
// and the run is no success.
TEST(BackupMetadata, FilesThatCannotBeWrittenAreFailures) {
    Library lib;
    const auto a = lib.track("a.mp3");
    test::writeFile(lib.dir / "_Serato_" / "Subcrates" / "House.crate", "crate");
    test::writeFile(lib.dir / "_Serato_" / "neworder.pref", "order");
    auto crate = std::make_shared<Crate>(*makeCrate({"House"}, {a}));
    crate->crateFiles = {lib.dir / "_Serato_" / "Subcrates" / "House.crate"};
    const Crate::Ptr house = crate;
    test::writeFile(lib.backup / ".morrowdeck", "a file where the folder goes");

    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    const auto record = runWithLibraryFolder(engine, lib, house);
    EXPECT_EQ(record.final().copiedFiles, 1);
    // The catalog, the crate file, the crate order and the manifest.
    EXPECT_EQ(record.final().failedFiles, 4);
    EXPECT_EQ(record.log.back().message, summary(1, 0, 0, 4, 0));
    EXPECT_EQ(record.log.back().level, Level::warning);
    std::vector<std::string> failed;
    for (const auto& problem : engine.reporter().problems()) {
        EXPECT_EQ(problem.kind, RunProblem::Kind::failed);
        failed.push_back(test::text(test::pathOf(problem.path).filename()));
    }
    EXPECT_EQ(failed, (std::vector<std::string>{"catalog.json", "House.crate", "neworder.pref",
                                                "manifest.tsv"}));
    EXPECT_TRUE(record.logged("Couldn't write " + test::text(lib.metadata("neworder.pref")) +
                              ": Not a directory"));
}

// Crates read from Serato's database: one only there is saved as a crate file of its list,
// named as Serato names crate files (a name that would read back as another crate is not);
// one whose file lists other tracks is saved with the database's list and its file is kept as
// it was; a smart crate only there has its rules elsewhere and is not missing. Definitions
// that cannot be written are failures.
TEST(BackupMetadata, DefinitionsOfTheDatabasesCrates) {
    Library lib;
    const auto a = lib.track("a.mp3"), b = lib.track("b.mp3");
    const auto fromDatabase = [](std::vector<std::string> components,
                                 std::vector<std::string> tracks, bool smart = false) {
        auto crate = std::make_shared<Crate>(*makeCrate(std::move(components), std::move(tracks),
                                                        smart, std::nullopt));
        crate->source = Crate::Source::database;
        crate->databaseId = 7;
        return crate;
    };
    Bytes original = CrateWriter::crateData({});
    CrateWriter::append(original, "osrt", Bytes{1});
    original = CrateWriter::appendTracks(original, {test::volumePath(a)});
    const auto mixFile = lib.dir / "_Serato_" / "Subcrates" / "Mix.crate";
    test::writeFile(mixFile, original);
    auto mix = fromDatabase({"Mix"}, {b, a});
    mix->source = Crate::Source::both;
    mix->listsDiffer = true;
    mix->crateFileURL = mixFile;
    mix->crateFiles = {mixFile};
    const std::vector<Crate::Ptr> crates{fromDatabase({"Sets", "Friday"}, {b, a}), mix,
                                         fromDatabase({" Padded"}, {a}),
                                         fromDatabase({"Smart Crates", "Deep"}, {}, true)};
    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    const auto record = test::captureRun<BackupEngine>(
        engine,
        [&](auto onLog, auto onProgress, auto done) {
            engine.run(crates, lib.backup, {}, lib.dir / "_Serato_" / "database V2", onLog,
                       onProgress, done);
        },
        {});
    // One copy per crate entry; the smart crate only the database holds is not missing.
    EXPECT_EQ(record.log.back().message, summary(5, 0, 0, 0, 0));
    const auto saved = lib.metadata("Subcrates");
    EXPECT_EQ(test::readBytes(saved / "Sets%%Friday.crate"),
              CrateWriter::crateData({test::volumePath(b), test::volumePath(a)}));
    EXPECT_EQ(test::readBytes(saved / "Mix.crate"),
              CrateWriter::replaceTracks(original, {test::volumePath(b), test::volumePath(a)}));
    EXPECT_EQ(test::readBytes(lib.metadata("Crate File Versions") / "Mix.crate"), original);
    EXPECT_FALSE(fs::exists(saved / " Padded.crate"));
    EXPECT_TRUE(record.logged("Couldn't save the track order of the crate  Padded: its name "
                              "cannot be a crate file's name. Its tracks are backed up; a "
                              "restore lists them in name order."));
    EXPECT_EQ(std::distance(fs::directory_iterator(saved), {}), 2);

    // A folder in the way of the definitions: each is a failed file, and the run no success.
    test::writeFile(lib.dir / "B2" / ".morrowdeck" / "Subcrates", "in the way");
    test::writeFile(lib.dir / "B2" / ".morrowdeck" / "Crate File Versions", "in the way");
    BackupEngine blocked(std::make_shared<test::ImmediateQueue>());
    const auto failed = test::captureRun<BackupEngine>(
        blocked,
        [&](auto onLog, auto onProgress, auto done) {
            blocked.run(crates, lib.dir / "B2", {}, lib.dir / "_Serato_" / "database V2", onLog,
                        onProgress, done);
        },
        {});
    EXPECT_EQ(failed.log.back().message, summary(5, 0, 0, 3, 0));
    std::vector<std::string> names;
    for (const auto& problem : blocked.reporter().problems())
        names.push_back(test::text(test::pathOf(problem.path).filename()));
    EXPECT_EQ(names, (std::vector<std::string>{"Sets%%Friday.crate", "Mix.crate", "Mix.crate"}));
}

// A crate file or crate order too large to be one (a damaged or sparse file) is named and
// left out; it is never read into memory nor saved into the backup.
TEST(BackupMetadata, OversizedCrateFilesAreNamedNotSaved) {
    Library lib;
    const auto a = lib.track("a.mp3");
    const auto crateFile = lib.dir / "_Serato_" / "Subcrates" / "House.crate";
    const auto order = lib.dir / "_Serato_" / "neworder.pref";
    test::writeSparseFile(crateFile, maxCrateBytes + 1);
    test::writeSparseFile(order, maxCrateBytes + 1);
    auto crate = std::make_shared<Crate>(*makeCrate({"House"}, {a}));
    crate->crateFiles = {crateFile};
    const Crate::Ptr house = crate;

    BackupEngine engine(std::make_shared<test::ImmediateQueue>());
    const auto record = runWithLibraryFolder(engine, lib, house);
    EXPECT_EQ(record.final().copiedFiles, 1);
    for (const auto& file : {crateFile, order}) {
        EXPECT_TRUE(record.logged("Skipped " + test::text(file) +
                                  ": it is larger than the 64 MB such a file can be; going on "
                                  "without it."));
    }
    EXPECT_FALSE(fs::exists(lib.metadata("Subcrates") / "House.crate"));
    EXPECT_FALSE(fs::exists(lib.metadata("neworder.pref")));
}

// The names settings store the modes under: exact, case-sensitive.
TEST(BackupOptions, RawValues) {
    EXPECT_EQ(duplicateModeFromRaw("dedupHardLink"), DuplicateMode::dedupHardLink);
    EXPECT_EQ(duplicateModeFromRaw("copyEverywhere"), DuplicateMode::copyEverywhere);
    EXPECT_EQ(duplicateModeFromRaw("DedupHardLink"), std::nullopt);
    EXPECT_EQ(smartCrateModeFromRaw("rulesOnly"), SmartCrateMode::rulesOnly);
    EXPECT_EQ(smartCrateModeFromRaw("asFolder"), SmartCrateMode::asFolder);
    EXPECT_EQ(smartCrateModeFromRaw(""), std::nullopt);
}

// Serato's own records of the backed-up tracks (from a real USB library's "database V2") and
// their ratings and the smart-crate rules (from HOME's SQLite database), kept once per crate
// entry under the track's path inside the backup.
TEST(BackupMetadata, SeratosRecordsRatingsAndRules) {
    Library lib;
    std::vector<std::string> tracks;
    for (int i = 0; i < 5; ++i)
        tracks.push_back(lib.track("Track " + std::to_string(i) + ".mp3"));
    runBackup({makeCrate({"A"}, {tracks[0]})}, lib.dir / "B0", {}, lib.dir / "missing");
    // Without Serato's records only the catalog and the manifest are kept.
    EXPECT_EQ(std::distance(fs::directory_iterator(lib.dir / "B0" / ".morrowdeck"), {}), 2);

    const auto list = SeratoDatabase::records(
        test::readBytes(test::fixturesRoot() / "usb-drive" / "_Serato_" / "database V2"));
    ASSERT_EQ(list.size(), 4u);
    std::vector<SeratoDatabase::Bytes> records;  // re-pointed at tracks 0-3; track 4 has none
    for (std::size_t i = 0; i < list.size(); ++i)
        records.push_back(SeratoDatabase::record(list[i].record, test::volumePath(tracks[i])));
    const auto database = lib.dir / "_Serato_" / "database V2";
    test::writeFile(database, SeratoDatabase::data(records));
    {
        test::SeratoSqlite db(
            lib.home / platform::applicationDataBelowHome() / "Serato/Library/master.sqlite",
            test::SeratoSqlite::Schema::serato);
        db.addAsset(test::volumePath(tracks[0]), "0.8", "16711680", "124.0", "7");
        db.addAsset(test::volumePath(tracks[1]), "NULL", "NULL", "98.0", "NULL");  // nothing to keep
        db.addAsset("Users/someone/else.mp3", "1.0", "1", "NULL", "1");
        db.addSmartCrate(10, "Techno", "rules-text");
        // A column of a newer Serato, and text this program has no member for.
        db.exec("ALTER TABLE asset ADD COLUMN x_future TEXT");
        db.exec("UPDATE asset SET comments = 'Peak', x_future = 'v' WHERE id = 1");
    }

    const auto run = runBackup({makeCrate({"A"}, {tracks[0], tracks[1]}),
                                makeCrate({"B", "Deep"}, {tracks[0], tracks[4]})},
                               lib.backup, {}, database);
    EXPECT_EQ(test::readBytes(lib.metadata("library.dbsnap")),
              SeratoDatabase::snapshot({{"A/Track 0.mp3", records[0]},
                                        {"A/Track 1.mp3", records[1]},
                                        {"B/Deep/Track 0.mp3", records[0]}}));
    EXPECT_TRUE(run.logged("Captured 3 track record(s) for an exact restore."));
    const auto bytes = test::readBytes(lib.metadata("serato.json"));
    auto saved = nlohmann::json::parse(bytes.begin(), bytes.end());
    // Every column of a track's row, with its first entry only; a row without a rating or
    // colour still gives its columns.
    auto& assets = saved["assets"];
    const auto first = assets["A/Track 0.mp3"]["fields"], second = assets["A/Track 1.mp3"]["fields"];
    EXPECT_EQ(first["comments"], "Peak");
    EXPECT_EQ(first["x_future"], "v");
    EXPECT_EQ(first["portable_id"], test::volumePath(tracks[0]));
    EXPECT_EQ(first["dj_play_count"], 7);
    EXPECT_FALSE(first.contains("video_portable_id"));  // NULL
    EXPECT_EQ(second["bpm"], 98.0);
    // Rating, colour, play count and the new column are NULL in the second.
    EXPECT_EQ(first.size(), second.size() + 4);
    EXPECT_EQ(assets["A/Track 1.mp3"].size(), 1u);
    assets["A/Track 0.mp3"].erase("fields");
    assets.erase("A/Track 1.mp3");
    EXPECT_TRUE(run.logged("Captured every database field of 2 track(s)."));
    const auto meta = R"({"rating": 0.8, "color": 16711680, "bpm": 124.0, "playCount": 7})"_json;
    EXPECT_EQ(
        saved,
        nlohmann::json({{"assets", {{"A/Track 0.mp3", meta}, {"B/Deep/Track 0.mp3", meta}}},
                        {"smartCrates", R"([{"name": "Techno", "rules": "rules-text"}])"_json}}));
    EXPECT_TRUE(run.logged("Captured 2 rating/color record(s) and 1 smart-crate rule(s)."));

    // Rules alone are still kept.
    const auto rulesOnly = runBackup({makeCrate({"C"}, {tracks[4]})}, lib.dir / "B2");
    EXPECT_TRUE(rulesOnly.logged("Captured 0 rating/color record(s) and 1 smart-crate rule(s)."));
    EXPECT_TRUE(fs::exists(lib.dir / "B2" / ".morrowdeck" / "serato.json"));
}

// Damaged Serato files never stop a backup and are each named in one warning: a FIFO at
// master.sqlite is not opened (it would wait for a writer forever), a cut database V2 still
// gives its complete records.
TEST(BackupMetadata, DamagedSeratoFilesAreNamedAndTheRunFinishes) {
    Library lib;
    const auto track = lib.track("a.mp3");
    const auto master =
        lib.home / platform::applicationDataBelowHome() / "Serato/Library/master.sqlite";
    fs::create_directories(master.parent_path());
    MORROWDECK_SKIP_ON_WINDOWS("no FIFOs");
    ASSERT_TRUE(test::makeFifo(master));
    const auto recordOf = [](std::string path) {
        SeratoDatabase::Entry entry;
        entry.path = std::move(path);
        entry.ext = "mp3";
        return SeratoDatabase::record(entry);
    };
    const auto other = recordOf("b.mp3");
    auto bytes = SeratoDatabase::data({recordOf(test::volumePath(track)), other});
    bytes.pop_back();
    const auto database = lib.dir / "database V2";
    test::writeFile(database, bytes);

    auto backup = std::async(std::launch::async, [&] {
        return runBackup({makeCrate({"A"}, {track})}, lib.backup, {}, database);
    });
    if (backup.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the backup waits on the FIFO";
        test::releaseFifoReader(master);
    }
    const auto run = backup.get();
    EXPECT_EQ(run.final().failedFiles, 0);
    EXPECT_TRUE(run.logged("Couldn't read all of Serato's database " + test::text(master) +
                           " (not a regular file): read 0 rating/color record(s) and 0 "
                           "smart-crate rule(s)."));
    EXPECT_TRUE(run.logged("Serato's track database " + test::text(database) +
                           " is damaged: read 1 track record(s), stopped at byte " +
                           std::to_string(bytes.size() - other.size() - 7) + " of " +
                           std::to_string(bytes.size()) + "."));
    EXPECT_TRUE(run.logged("Captured 1 track record(s) for an exact restore."));
}

}  // namespace
}  // namespace morrowdeck
