// The backup engine end to end on real folders: layout, counters, re-runs, failures.
#include "backup/backup_engine.h"
#include "backup/backup_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/serato_error.h"
#include "support/engine_harness.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using test::makeCrate;
using test::runBackup;
using test::TempDir;
using test::writeSized;
using Level = LogEntry::Level;

struct Library {
    TempDir dir;
    fs::path music = dir / "Music";
    fs::path backup = dir / "Backup";

    std::string track(const std::string& name, std::size_t size = 1000, char seed = 'a') {
        writeSized(music / name, size, seed);
        return (music / name).native();
    }
};

std::string content(const fs::path& file) {
    const auto bytes = test::readBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

bool hasTemporaryFiles(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().native().find("morrowdeck") != std::string::npos) return true;
    }
    return false;
}

TEST(BackupEngine, CopiesEveryCrateIntoItsFolder) {
    Library lib;
    const auto a = lib.track("a.mp3", 1000);
    const auto b = lib.track("b.mp3", 2000, 'b');
    const auto missing = (lib.music / "gone.mp3").native();
    const auto record = runBackup(
        {makeCrate({"House"}, {a, b}), makeCrate({"House", "Deep"}, {b, missing})}, lib.backup);

    ASSERT_FALSE(record.failed());
    const auto& snap = record.final();
    EXPECT_EQ(snap.totalFiles, 3);
    EXPECT_EQ(snap.completedFiles, 3);
    EXPECT_EQ(snap.copiedFiles, 3);
    EXPECT_EQ(snap.missingFiles, 1);
    EXPECT_EQ(snap.totalBytes, 5000);
    EXPECT_EQ(snap.bytesToCopy, 5000);
    EXPECT_EQ(snap.processedBytes, 5000);
    EXPECT_EQ(snap.phase, "Done");
    EXPECT_TRUE(snap.finished);
    EXPECT_EQ(content(lib.backup / "House" / "a.mp3"), content(a));
    EXPECT_EQ(content(lib.backup / "House" / "Deep" / "b.mp3"), content(b));
    EXPECT_EQ(fs::last_write_time(lib.backup / "House" / "b.mp3"), fs::last_write_time(b));
    EXPECT_FALSE(fs::exists(lib.backup / "House" / "Deep" / "gone.mp3"));

    EXPECT_TRUE(record.logged("Planning backup of 2 crate(s) \u2192 " + lib.backup.native()));
    EXPECT_TRUE(record.logged("Missing source: " + missing));
    std::vector<std::string> phases;
    for (const auto& entry : record.snapshots)
        if (phases.empty() || phases.back() != entry.phase) phases.push_back(entry.phase);
    EXPECT_EQ(phases, (std::vector<std::string>{"Scanning crates\u2026", "Creating folders\u2026",
                                                "Copying files\u2026", "Done"}));
    ASSERT_FALSE(record.log.empty());
    EXPECT_EQ(record.log.back().level, Level::success);
    EXPECT_EQ(record.log.back().message,
              "Backup complete \u2014 3 copied, 0 linked, 0 up-to-date, 0 failed, 1 missing.");
    EXPECT_EQ(record.count(Level::success), 1u);
    EXPECT_EQ(record.snapshots.back(), snap);
    EXPECT_FALSE(hasTemporaryFiles(lib.backup));
}

TEST(BackupEngine, DeduplicatesIntoTheStoreWithHardLinks) {
    Library lib;
    const auto a = lib.track("a.mp3", 10);
    BackupOptions options;
    options.duplicateMode = DuplicateMode::dedupHardLink;
    const auto record = runBackup(
        {makeCrate({"One"}, {a}), makeCrate({"Two"}, {a}), makeCrate({"Two", "Three"}, {a})},
        lib.backup, options);

    const auto& snap = record.final();
    EXPECT_EQ(snap.totalFiles, 4);
    EXPECT_EQ(snap.copiedFiles, 1);
    EXPECT_EQ(snap.linkedFiles, 3);
    EXPECT_EQ(snap.totalBytes, 30);
    EXPECT_EQ(snap.bytesToCopy, 10);
    EXPECT_EQ(snap.processedBytes, 10);
    const fs::path stored = lib.backup / ".ORVEL_Store" / a.substr(1);
    ASSERT_TRUE(fs::is_regular_file(stored));
    EXPECT_EQ(fs::hard_link_count(stored), 4u);
    EXPECT_TRUE(fs::equivalent(stored, lib.backup / "Two" / "Three" / "a.mp3"));
    EXPECT_TRUE(record.logged("Linking duplicates\u2026"));
    EXPECT_EQ(record.log.back().message,
              "Backup complete \u2014 1 copied, 3 linked, 0 up-to-date, 0 failed, 0 missing.");

    // A second run finds everything in place.
    const auto again =
        runBackup({makeCrate({"One"}, {a}), makeCrate({"Two"}, {a})}, lib.backup, options);
    EXPECT_EQ(again.final().skippedFiles, 1);
    EXPECT_EQ(again.final().linkedFiles, 2);
    EXPECT_EQ(again.final().copiedFiles, 0);
}

TEST(BackupEngine, ReRunsCopyOnlyWhatChanged) {
    Library lib;
    const auto same = lib.track("same.mp3", 100);
    const auto grown = lib.track("grown.mp3", 100);
    const auto touched = lib.track("touched.mp3", 100);
    const auto newer = lib.track("newer.mp3", 100);
    const std::vector<Crate::Ptr> crates{makeCrate({"C"}, {same, grown, touched, newer})};
    ASSERT_EQ(runBackup(crates, lib.backup).final().copiedFiles, 4);

    const auto rerun = runBackup(crates, lib.backup);
    EXPECT_EQ(rerun.final().skippedFiles, 4);
    EXPECT_EQ(rerun.final().skippedBytes, 400);
    EXPECT_EQ(rerun.final().processedBytes, 0);

    lib.track("grown.mp3", 150, 'g');
    fs::last_write_time(touched, fs::last_write_time(touched) + std::chrono::seconds(5));
    const auto newerCopy = lib.backup / "C" / "newer.mp3";
    fs::last_write_time(newerCopy, fs::last_write_time(newer) + std::chrono::hours(1));
    const auto changed = runBackup(crates, lib.backup);
    EXPECT_EQ(changed.final().copiedFiles, 2);   // grown and touched
    EXPECT_EQ(changed.final().skippedFiles, 2);  // same, and newer (destination newer, same size)
    EXPECT_EQ(content(lib.backup / "C" / "grown.mp3"), content(grown));
    EXPECT_EQ(fs::last_write_time(lib.backup / "C" / "touched.mp3"), fs::last_write_time(touched));

    lib.track("same.mp3", 300, 's');
    BackupOptions noVerify;
    noVerify.verifyExisting = false;
    const auto untouched = runBackup(crates, lib.backup, noVerify);
    EXPECT_EQ(untouched.final().skippedFiles, 4);
    EXPECT_EQ(fs::file_size(lib.backup / "C" / "same.mp3"), 100u);
}

TEST(BackupEngine, CoarseDestinationClocksCountAsUpToDate) {
    using namespace std::chrono_literals;
    BackupEngine::Job job;
    job.bytes = 10;
    job.mtime = platform::FileTime(1'700'000'001'505ms);
    platform::FileInfo copy;
    copy.size = 10;
    const struct {
        platform::FileTime copyTime;
        std::chrono::nanoseconds granularity;
        bool upToDate;
    } cases[] = {
        {job.mtime, 1ns, true},
        {job.mtime - 1ns, 1ns, false},
        {platform::FileTime(1'700'000'000'000ms), 2s, true},    // FAT keeps even seconds
        {platform::FileTime(1'699'999'999'000ms), 2s, false},   // really older
        {platform::FileTime(1'700'000'001'500ms), 10ms, true},  // exFAT keeps hundredths
        {platform::FileTime(1'700'000'001'490ms), 10ms, false},
    };
    for (const auto& c : cases) {
        copy.mtime = c.copyTime;
        EXPECT_EQ(BackupEngine::isUpToDate(copy, job, c.granularity), c.upToDate)
            << c.copyTime.time_since_epoch().count() << " / " << c.granularity.count();
    }
    copy.mtime = job.mtime;
    copy.size = 11;
    EXPECT_FALSE(BackupEngine::isUpToDate(copy, job, std::chrono::seconds(2)));
}

TEST(BackupEngine, StartChecks) {
    Library lib;
    const auto a = lib.track("a.mp3");
    const auto none = runBackup({}, lib.backup);
    ASSERT_TRUE(none.failed());
    EXPECT_EQ(std::get<RunFailure>(none.result).description, "No crates are selected to back up.");
    EXPECT_FALSE(fs::exists(lib.backup));
    EXPECT_TRUE(none.log.empty());

    test::writeFile(lib.dir / "file", "x");
    const auto blocked = runBackup({makeCrate({"C"}, {a})}, lib.dir / "file" / "Backup");
    ASSERT_TRUE(blocked.failed());
    EXPECT_NE(std::get<RunFailure>(blocked.result).description.find("Not a directory"),
              std::string::npos);
    EXPECT_TRUE(blocked.snapshots.empty());

    test::TmpfsMount readOnly(lib.dir / "ro", "ro,size=64k");
    if (!readOnly.ok()) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    const auto unwritable = runBackup({makeCrate({"C"}, {a})}, lib.dir / "ro");
    ASSERT_TRUE(unwritable.failed());
    EXPECT_EQ(std::get<RunFailure>(unwritable.result).description,
              "The destination " + (lib.dir / "ro").native() + " is not writable.");
}

TEST(BackupEngine, NothingToCopy) {
    Library lib;
    const auto record = runBackup(
        {makeCrate({"C"}, {(lib.music / "x.mp3").native(), (lib.music / "y.mp3").native()}),
         makeCrate({"Empty"}, {})},
        lib.backup);
    const auto& snap = record.final();
    EXPECT_EQ(snap.totalFiles, 0);
    EXPECT_EQ(snap.missingFiles, 2);
    EXPECT_TRUE(snap.finished);
    EXPECT_FALSE(snap.cancelled);
    EXPECT_TRUE(
        record.logged("Nothing to copy \u2014 selected crates reference no existing files."));
    EXPECT_TRUE(fs::exists(lib.backup));
    EXPECT_TRUE(fs::is_empty(lib.backup));
}

TEST(BackupEngine, SmartCrates) {
    Library lib;
    const auto a = lib.track("a.mp3");
    test::writeFile(lib.dir / "SmartCrates" / "Techno.scrate", "rules");
    const auto techno =
        makeCrate({"Smart Crates", "Techno"}, {a}, true, lib.dir / "SmartCrates" / "Techno.scrate");
    const auto gone =
        makeCrate({"Smart Crates", "Gone"}, {a}, true, lib.dir / "SmartCrates" / "Gone.scrate");
    const auto empty = makeCrate({"Empty"}, {});

    const auto rules = runBackup({techno, gone, empty}, lib.backup);
    EXPECT_EQ(rules.final().copiedFiles, 1);
    EXPECT_EQ(rules.final().missingFiles, 1);
    EXPECT_TRUE(rules.logged("Missing Smart Crate file: Gone"));
    EXPECT_EQ(content(lib.backup / "Smart Crates" / "Techno.scrate"), "rules");
    const auto notes = content(lib.backup / "Smart Crates" / "HOW TO RESTORE.txt");
    EXPECT_EQ(notes.size(), 246u);
    EXPECT_TRUE(notes.ends_with("re-evaluate against that library."));
    EXPECT_FALSE(fs::exists(lib.backup / "Smart Crates" / "Techno"));
    EXPECT_TRUE(fs::is_directory(lib.backup / "Empty"));  // an empty crate still gets its folder

    TempDir other;
    BackupOptions asFolder;
    asFolder.smartCrateMode = SmartCrateMode::asFolder;
    const auto folders = runBackup({techno}, other.path(), asFolder);
    EXPECT_EQ(folders.final().copiedFiles, 1);
    EXPECT_TRUE(fs::is_regular_file(other / "Smart Crates" / "Techno" / "a.mp3"));
    EXPECT_FALSE(fs::exists(other / "Smart Crates" / "HOW TO RESTORE.txt"));
}

TEST(BackupEngine, NothingIsWrittenOutsideTheDestination) {
    Library lib;
    const auto a = lib.track("a.mp3");
    const std::string escaping = (lib.music / ".." / "Music" / "a.mp3").native();
    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    const auto record = runBackup({makeCrate({".."}, {a}), makeCrate({"A", "", "B"}, {a}),
                                   makeCrate({"Fine"}, {a, escaping})},
                                  lib.backup, dedup);
    const auto& snap = record.final();
    EXPECT_EQ(snap.missingFiles, 3);  // both unsafe crates' entries and the climbing path
    EXPECT_EQ(snap.linkedFiles, 1);
    EXPECT_EQ(snap.failedFiles, 0);
    EXPECT_FALSE(fs::exists(lib.dir / "a.mp3"));
    EXPECT_TRUE(fs::is_regular_file(lib.backup / "Fine" / "a.mp3"));
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(lib.dir.path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 3u);  // the source, its stored copy and that copy's link in Fine
}

TEST(BackupEngine, JobsWithOneDestinationDoNotCollide) {
    Library lib;
    std::vector<std::string> tracks;
    for (int i = 0; i < 24; ++i) {
        tracks.push_back(lib.track("set" + std::to_string(i) + "/same.mp3",
                                   50'000 + static_cast<std::size_t>(i), 'x'));
    }
    BackupOptions options;
    options.threadCount = 8;
    const auto record = runBackup({makeCrate({"C"}, tracks)}, lib.backup, options);
    const auto& snap = record.final();
    EXPECT_EQ(snap.failedFiles, 0);
    EXPECT_EQ(snap.completedFiles, 24);
    EXPECT_EQ(snap.copiedFiles + snap.skippedFiles, 24);
    EXPECT_FALSE(hasTemporaryFiles(lib.backup));
}

TEST(BackupEngine, WorkerCountIsAtLeastOne) {
    for (std::int64_t threads : {0, -3, 1, 4}) {
        Library lib;
        std::vector<std::string> tracks;
        for (int i = 0; i < 6; ++i)
            tracks.push_back(lib.track("t" + std::to_string(i) + ".mp3"));
        BackupOptions options;
        options.threadCount = threads;
        const auto record = runBackup({makeCrate({"C"}, tracks)}, lib.backup, options);
        EXPECT_EQ(record.final().copiedFiles, 6) << threads;
    }
}

TEST(BackupEngine, FailedCopiesAreCountedAndLogged) {
    Library lib;
    const auto a = lib.track("a.mp3");
    const auto b = lib.track("b.mp3");
    fs::create_directories(lib.backup / "C" / "a.mp3");  // a folder where the copy should go
    const auto record = runBackup({makeCrate({"C"}, {a, b})}, lib.backup);
    const auto& snap = record.final();
    EXPECT_EQ(snap.failedFiles, 1);
    EXPECT_EQ(snap.completedFiles, 2);
    EXPECT_EQ(snap.copiedFiles, 1);
    EXPECT_EQ(record.count(Level::error), 1u);
    EXPECT_TRUE(record.logged("Copy failed: a.mp3 \u2014 File exists"));
    EXPECT_TRUE(fs::is_directory(lib.backup / "C" / "a.mp3"));
}

TEST(BackupEngine, Cancellation) {
    {  // before the first crate: only the destination folder exists
        Library lib;
        BackupEngine engine(std::make_shared<test::ImmediateQueue>());
        engine.cancel();
        const auto snap =
            engine.execute({makeCrate({"C"}, {lib.track("a.mp3")})}, lib.backup, {}, {});
        EXPECT_TRUE(snap.cancelled);
        EXPECT_EQ(snap.phase, "Cancelled");
        EXPECT_TRUE(fs::is_empty(lib.backup));
    }
    {  // during copying: the running job finishes, queued ones are dropped, no link phase
        Library lib;
        std::vector<std::string> tracks;
        for (int i = 0; i < 10; ++i)
            tracks.push_back(lib.track("t" + std::to_string(i) + ".mp3"));
        fs::create_directories(lib.backup / "C" / "t0.mp3");  // the first job fails and logs
        BackupOptions options;
        options.threadCount = 1;
        const auto record = runBackup({makeCrate({"C"}, tracks)}, lib.backup, options, {},
                                      [](BackupEngine& engine, const LogEntry& entry) {
                                          if (entry.level == Level::error) engine.cancel();
                                      });
        const auto& snap = record.final();
        EXPECT_TRUE(snap.cancelled);
        EXPECT_EQ(snap.totalFiles, 10);
        EXPECT_EQ(snap.completedFiles, 1);
        EXPECT_EQ(snap.copiedFiles, 0);
        EXPECT_EQ(record.log.back().message, "Backup cancelled.");
        EXPECT_EQ(record.log.back().level, Level::warning);
        EXPECT_EQ(record.count(Level::success), 0u);
    }
    {  // before linking: the link phase never starts
        Library lib;
        BackupOptions dedup;
        dedup.duplicateMode = DuplicateMode::dedupHardLink;
        const auto a = lib.track("a.mp3");
        const auto record = runBackup({makeCrate({"A"}, {a}), makeCrate({"B"}, {a})}, lib.backup,
                                      dedup, {}, [](BackupEngine& engine, const LogEntry& entry) {
                                          if (entry.message == "Copying files\u2026")
                                              engine.cancel();
                                      });
        EXPECT_TRUE(record.final().cancelled);
        EXPECT_EQ(record.final().linkedFiles, 0);
        EXPECT_FALSE(record.logged("Linking duplicates\u2026"));
        EXPECT_FALSE(fs::exists(lib.backup / "A" / "a.mp3"));
    }
}

TEST(BackupEngine, FullDestination) {
    Library lib;
    test::TmpfsMount small(lib.backup, "size=512k");
    if (!small.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    const auto old = lib.track("old.mp3", 100 * 1024, 'o');
    ASSERT_EQ(runBackup({makeCrate({"C"}, {old})}, lib.backup).final().copiedFiles, 1);
    const std::string before = content(lib.backup / "C" / "old.mp3");

    std::vector<std::string> tracks{
        lib.track("old.mp3", 700 * 1024, 'n')};  // grown past the free space
    for (int i = 0; i < 4; ++i)
        tracks.push_back(lib.track("big" + std::to_string(i) + ".mp3", 200 * 1024));
    BackupOptions options;
    options.threadCount = 1;
    const auto record = runBackup({makeCrate({"C"}, tracks)}, lib.backup, options);
    const auto& snap = record.final();
    EXPECT_TRUE(record.logged("Destination may not have enough free space for a full copy."));
    EXPECT_GE(snap.failedFiles, 2);
    EXPECT_EQ(snap.completedFiles, 5);
    EXPECT_TRUE(record.logged("Copy failed: old.mp3 \u2014 No space left on device"));
    EXPECT_EQ(content(lib.backup / "C" / "old.mp3"), before);  // the older copy survives
    EXPECT_EQ(record.log.back().level, Level::success);
    EXPECT_FALSE(hasTemporaryFiles(lib.backup));
}

TEST(BackupEngine, LinksFallBackToCopiesWithoutHardLinks) {
    Library lib;
    test::TmpfsMount crateVolume(lib.backup / "House", "size=1m");  // another file system
    if (!crateVolume.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const auto a = lib.track("a.mp3", 500);
    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    const auto record =
        runBackup({makeCrate({"House"}, {a}), makeCrate({"Other"}, {a})}, lib.backup, dedup);
    const auto& snap = record.final();
    EXPECT_EQ(snap.copiedFiles, 1);
    EXPECT_EQ(snap.linkedFiles, 2);
    EXPECT_EQ(snap.failedFiles, 0);
    EXPECT_EQ(snap.processedBytes, 500);  // the fallback copy adds no bytes
    EXPECT_EQ(fs::hard_link_count(lib.backup / "House" / "a.mp3"), 1u);
    EXPECT_EQ(content(lib.backup / "House" / "a.mp3"), content(a));
}

TEST(BackupOptions, DefaultsAndRawValues) {
    const BackupOptions options;
    EXPECT_EQ(options.duplicateMode, DuplicateMode::copyEverywhere);
    EXPECT_EQ(options.smartCrateMode, SmartCrateMode::rulesOnly);
    EXPECT_TRUE(options.verifyExisting);
    EXPECT_EQ(options.threadCount, 16);
    EXPECT_EQ(options.storeFolderName, ".ORVEL_Store");

    EXPECT_EQ(duplicateModeFromRaw("dedupHardLink"), DuplicateMode::dedupHardLink);
    EXPECT_EQ(duplicateModeFromRaw("DedupHardLink"), std::nullopt);
    EXPECT_EQ(smartCrateModeFromRaw("asFolder"), SmartCrateMode::asFolder);
    EXPECT_EQ(smartCrateModeFromRaw(""), std::nullopt);
    for (auto mode : allDuplicateModes)
        EXPECT_EQ(duplicateModeFromRaw(rawValue(mode)), mode);
    for (auto mode : allSmartCrateModes)
        EXPECT_EQ(smartCrateModeFromRaw(rawValue(mode)), mode);
}

}  // namespace
}  // namespace morrowdeck
