// The backup's manifest as runs bring it up to date, and the check of a backup against it.
#include "backup/backup_verifier.h"

#include <gtest/gtest.h>

#include "engine/backup_manifest.h"
#include "engine/run_outcome.h"
#include "library/crate_writer.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "support/engine_harness.h"
#include "support/master_database_fixture.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using test::makeCrate;
using test::runBackup;
using Kind = BackupVerifier::Finding::Kind;

ContentHash hashOf(std::string_view text) {
    ContentHasher hasher;
    hasher.update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return hasher.digest();
}

struct Backup {
    test::TempDir dir;
    fs::path music = dir / "Music";
    fs::path backup = dir / "Backup";
    test::ScopedHome home{dir / "home"};

    std::string track(const std::string& name, const std::string& content) {
        test::writeFile(music / name, content);
        return test::text(music / name);
    }
    BackupManifest manifest() const { return BackupManifest::load(backup).value(); }
    void writeManifest(const BackupManifest& manifest) const {
        test::writeFile(BackupManifest::fileOf(backup), manifest.encode());
    }
    std::vector<std::pair<Kind, std::string>> verify(
        const std::optional<fs::path>& library = std::nullopt) {
        BackupVerifier verifier(std::make_shared<test::ImmediateQueue>());
        const auto record = test::captureRun(
            verifier,
            [&](auto onLog, auto onProgress, auto completion) {
                verifier.run(backup, library, onLog, onProgress, completion);
            },
            std::function<void(BackupVerifier&, const LogEntry&)>{});
        EXPECT_EQ(record.failure(), "");
        std::vector<std::pair<Kind, std::string>> found;
        for (const auto& finding : verifier.result().findings)
            found.emplace_back(finding.kind, finding.path);
        // Any finding makes the check no success, whichever counter holds it.
        EXPECT_EQ(RunOutcome::of(record.final()).isSuccess(), found.empty());
        EXPECT_EQ(record.log.back().level,
                  found.empty() ? LogEntry::Level::success : LogEntry::Level::warning);
        return found;
    }
};

// A copied file gets the hash taken while copying; an up-to-date one keeps its entry unread
// (a planted hash survives); a re-copied one gets a new entry; a backup without a manifest
// gets one made from its files; a hard link shares its store file's entry.
TEST(BackupManifest, EntriesFollowTheRuns) {
    Backup b;
    const auto a = b.track("a.mp3", "first a");
    const auto c = b.track("c.mp3", "first c");
    ASSERT_EQ(runBackup({makeCrate({"House"}, {a, c})}, b.backup).final().copiedFiles, 2);
    auto manifest = b.manifest();
    ASSERT_EQ(manifest.entries.size(), 2u);
    EXPECT_EQ(manifest.entries.at("House/a.mp3"),
              (BackupManifest::Entry{7, platform::fileInfo(a)->mtime, hashOf("first a")}));

    const ContentHash planted{1, 2};
    manifest.entries.at("House/a.mp3").hash = planted;
    b.writeManifest(manifest);
    b.track("c.mp3", "second c, longer");
    ASSERT_EQ(runBackup({makeCrate({"House"}, {a, c})}, b.backup).final().copiedFiles, 1);
    manifest = b.manifest();
    EXPECT_EQ(manifest.entries.at("House/a.mp3").hash, planted);
    EXPECT_EQ(manifest.entries.at("House/c.mp3"),
              (BackupManifest::Entry{16, platform::fileInfo(c)->mtime, hashOf("second c, longer")}));

    fs::remove(BackupManifest::fileOf(b.backup));
    ASSERT_EQ(runBackup({makeCrate({"House"}, {a, c})}, b.backup).final().skippedFiles, 2);
    EXPECT_EQ(b.manifest().entries.at("House/a.mp3").hash, hashOf("first a"));

    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    fs::remove_all(b.backup);
    runBackup({makeCrate({"House"}, {a}), makeCrate({"Deep"}, {a})}, b.backup, dedup);
    manifest = b.manifest();
    const std::string store = test::storeCopy(a);
    ASSERT_EQ(manifest.entries.size(), 3u);
    EXPECT_EQ(manifest.entries.at("Deep/a.mp3"), manifest.entries.at(store));
    EXPECT_EQ(manifest.entries.at("House/a.mp3").hash, hashOf("first a"));
}

TEST(BackupVerifier, FindsWhatChangedInTheBackup) {
    const struct {
        const char* name;
        std::function<void(const fs::path& backup)> damage;
        std::vector<std::pair<Kind, std::string>> expected;
    } cases[] = {
        {"intact", [](const fs::path&) {}, {}},
        {"flipped byte",
         [](const fs::path& backup) { test::writeFile(backup / "House/a.mp3", "aaaaXaaaaa"); },
         {{Kind::damaged, "House/a.mp3"}}},
        {"truncated",
         [](const fs::path& backup) { fs::resize_file(backup / "House/b.mp3", 3); },
         {{Kind::damaged, "House/b.mp3"}}},
        {"missing", [](const fs::path& backup) { fs::remove(backup / "House/b.mp3"); },
         {{Kind::missing, "House/b.mp3"}}},
        {"extra",
         [](const fs::path& backup) {
             test::writeFile(backup / "House/extra.mp3", "x");
             test::writeFile(backup / "beside the crates.txt", "x");
             test::writeFile(backup / ".morrowdeck/anything", "x");
             test::writeFile(backup / ".ORVEL_Store/anything", "x");
         },
         {{Kind::unexpected, "House/extra.mp3"}}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        Backup b;
        const auto a = b.track("a.mp3", "aaaaaaaaaa");
        const auto c = b.track("b.mp3", "bbbbbbbbbb");
        runBackup({makeCrate({"House"}, {a, c})}, b.backup);
        testCase.damage(b.backup);
        EXPECT_EQ(b.verify(), testCase.expected);
    }
}

// A manifest line no backup writes, and a backed-up file replaced by a link that leads out of
// the backup, are damaged: what they name is never read, even where its content would match.
// A link to another file of the backup is as good as the file; the store's copies belong to a
// backup that de-duplicates.
TEST(BackupVerifier, NeverReadsOutsideTheBackup) {
    const struct {
        const char* name;
        std::function<void(Backup&, BackupManifest&)> tamper;
        std::vector<std::pair<Kind, std::string>> expected;
    } cases[] = {
        {"absolute path",
         [](Backup& b, BackupManifest& m) {
             m.entries[test::text(b.dir / "passwd")] = m.entries.at("House/a.mp3");
         },
         {{Kind::damaged, ""}}},
        {"climbs out",
         [](Backup&, BackupManifest& m) { m.entries["../passwd"] = m.entries.at("House/a.mp3"); },
         {{Kind::damaged, "../passwd"}}},
        {"metadata folder",
         [](Backup& b, BackupManifest& m) {
             test::writeFile(b.backup / ".morrowdeck/planted.mp3", "aaaaaaaaaa");
             m.entries[".morrowdeck/planted.mp3"] = m.entries.at("House/a.mp3");
         },
         {{Kind::damaged, ".morrowdeck/planted.mp3"}}},
        {"store of a backup without one",
         [](Backup& b, BackupManifest& m) {
             test::writeFile(b.backup / ".ORVEL_Store/planted.mp3", "aaaaaaaaaa");
             m.entries[".ORVEL_Store/planted.mp3"] = m.entries.at("House/a.mp3");
         },
         {{Kind::damaged, ".ORVEL_Store/planted.mp3"}}},
        {"link out of the backup",
         [](Backup& b, BackupManifest&) {
             fs::remove(b.backup / "House/a.mp3");
             ASSERT_TRUE(test::makeSymlink(b.dir / "passwd", b.backup / "House/a.mp3"));
         },
         {{Kind::damaged, "House/a.mp3"}}},
        {"link inside the backup",
         [](Backup& b, BackupManifest&) {
             fs::remove(b.backup / "House/a.mp3");
             ASSERT_TRUE(test::makeSymlink("../Deep/a.mp3", b.backup / "House/a.mp3"));
         },
         {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        if (std::string_view(testCase.name).starts_with("link") && !test::makesSymlinks()) continue;
        Backup b;
        test::writeFile(b.dir / "passwd", "aaaaaaaaaa");  // what the backup's a.mp3 holds
        const auto a = b.track("a.mp3", "aaaaaaaaaa");
        runBackup({makeCrate({"House"}, {a, b.track("b.mp3", "b")}), makeCrate({"Deep"}, {a})},
                  b.backup);
        auto manifest = b.manifest();
        testCase.tamper(b, manifest);
        b.writeManifest(manifest);
        auto expected = testCase.expected;
        if (!expected.empty() && expected[0].second.empty())
            expected[0].second = test::text(b.dir / "passwd");
        EXPECT_EQ(b.verify(), expected);
    }

    Backup b;
    BackupOptions dedup;
    dedup.duplicateMode = DuplicateMode::dedupHardLink;
    const auto a = b.track("a.mp3", "aaaaaaaaaa");
    runBackup({makeCrate({"House"}, {a}), makeCrate({"Deep"}, {a})}, b.backup, dedup);
    EXPECT_EQ(b.manifest().entries.size(), 3u);
    EXPECT_EQ(b.verify(), (std::vector<std::pair<Kind, std::string>>{}));
    if (!test::makesSymlinks())
        GTEST_SKIP() << "the link rows: this system makes no symbolic links";
}

// Against the library: a track changed since the backup is older there, a track added since
// is not in it, a track removed from the disk is no finding.
TEST(BackupVerifier, ComparesWithTheLibrary) {
    Backup b;
    const auto serato = b.dir / "_Serato_";
    const auto prefix = SeratoLibrary::volumeMountPrefix(b.dir.path());
    const auto crate = [&](const std::vector<std::string>& tracks) {
        std::vector<std::string> paths;
        for (const auto& track : tracks)
            paths.push_back(CrateWriter::volumeRelativePath(track, prefix));
        test::writeFile(serato / "Subcrates/House.crate", CrateWriter::crateData(paths));
    };
    const auto a = b.track("a.mp3", "aaa");
    const auto c = b.track("c.mp3", "ccc");
    const auto gone = b.track("gone.mp3", "ggg");
    crate({a, c, gone});
    runBackup(SeratoLibrary::loadCrates(serato), b.backup, {}, serato / "database V2");
    const auto added = b.track("new.mp3", "nnn");
    crate({a, c, gone, added});
    b.track("c.mp3", "changed");
    fs::remove(gone);
    EXPECT_EQ(b.verify(serato), (std::vector<std::pair<Kind, std::string>>{
                                    {Kind::notInBackup, added}, {Kind::older, c}}));
}

// A crate only Serato's database holds is compared like a crate file's: its backed-up tracks
// are held, a track it gained since is not.
TEST(BackupVerifier, ComparesTheDatabasesCratesToo) {
    Backup b;
    const auto serato = b.dir / "_Serato_";
    fs::create_directories(serato);
    const auto prefix = SeratoLibrary::volumeMountPrefix(b.dir.path());
    const auto a = b.track("a.mp3", "aaa"), added = b.track("new.mp3", "nnn");
    test::MasterDatabaseFixture db(SeratoFolder::masterDatabase());
    const auto volume = db.addVolume(prefix.empty() ? "/" : prefix);
    const auto sets = db.addCrate("Sets");
    db.addEntry(sets, db.addAsset(volume, CrateWriter::volumeRelativePath(a, prefix)), 1);
    runBackup(SeratoLibrary::loadCrates(serato), b.backup, {}, serato / "database V2");
    EXPECT_EQ(b.verify(serato), (std::vector<std::pair<Kind, std::string>>{}));
    db.addEntry(sets, db.addAsset(volume, CrateWriter::volumeRelativePath(added, prefix)), 2);
    EXPECT_EQ(b.verify(serato),
              (std::vector<std::pair<Kind, std::string>>{{Kind::notInBackup, added}}));
}

}  // namespace
}  // namespace morrowdeck
