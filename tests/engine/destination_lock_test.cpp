// Two runs into one destination, and what a killed run left there: both engines, through the
// lock each takes at its start.
#include "engine/destination_lock.h"

#include <gtest/gtest.h>

#include "restore/restore_engine.h"
#include "support/engine_harness.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    bool restore;
    const char* locked;                  // the folder the other run holds
    std::vector<const char*> leftovers;  // folders the run writes, each with a killed copy
};

class TwoRuns : public testing::TestWithParam<Case> {};

TEST_P(TwoRuns, TheSecondRefusesToStartAndTheNextCleansUp) {
    const Case& c = GetParam();
    test::TempDir dir;
    test::writeFile(dir / "Music/a.mp3", "audio");
    const std::vector crates{test::makeCrate({"A"}, {test::text(dir / "Music/a.mp3")})};
    const auto run = [&] {
        if (!c.restore) return test::runBackup(crates, dir / "Backup");
        RestoreEngine engine(std::make_shared<test::ImmediateQueue>());
        return test::captureRun<RestoreEngine>(
            engine,
            [&](auto onLog, auto onProgress, auto done) {
                engine.run(dir / "Backup", dir / "Audio", dir / "Library", ExistingFiles::replace,
                           false, onLog, onProgress, done);
            },
            {});
    };
    if (c.restore) {
        ASSERT_EQ(test::runBackup(crates, dir / "Backup").failure(), "");
    }
    const std::string temp = ".a.mp3.morrowdeck-K1lled";
    test::writeFile(dir / "Music" / temp, "");
    for (const fs::path folder : c.leftovers) test::writeFile(dir / folder / temp, "partial");

    fs::create_directories(dir / c.locked);
    platform::FileLock other;
    ASSERT_EQ(other.acquire(dir / c.locked / DestinationLock::fileName), 0);
    EXPECT_EQ(run().failure(),
              "Another Morrowdeck run is writing to " + test::text(dir / c.locked) + ".");
    for (const fs::path folder : c.leftovers) EXPECT_TRUE(fs::exists(dir / folder / temp));

    other.release();  // and a lock file as a killed run leaves it: nobody holds it
    test::writeFile(dir / c.locked / DestinationLock::fileName, "");
    const auto next = run();
    ASSERT_EQ(next.failure(), "");
    EXPECT_TRUE(next.logged("Removed " + std::to_string(c.leftovers.size()) +
                            " unfinished temporary file(s) from an earlier run."));
    for (const fs::path folder : c.leftovers) EXPECT_FALSE(fs::exists(dir / folder / temp));
    EXPECT_TRUE(fs::exists(dir / "Music" / temp));  // not a folder the run writes
    EXPECT_FALSE(fs::exists(dir / c.locked / DestinationLock::fileName));
}

INSTANTIATE_TEST_SUITE_P(
    Engines, TwoRuns,
    testing::Values(Case{"Backup", false, "Backup", {"Backup/A", "Backup/.morrowdeck"}},
                    Case{"RestoreAudio", true, "Audio", {"Audio/A"}},
                    Case{"RestoreSerato", true, "Library/_Serato_",
                         {"Library/_Serato_", "Library/_Serato_/Subcrates"}}),
    [](const auto& test) { return std::string(test.param.name); });

// Something other than a regular file where the lock file goes cannot be locked: the run
// refuses with a line naming it and writes nothing (neither beside it nor through a link).
TEST(DestinationLock, ALockFileThatIsNoRegularFileRefusesTheRun) {
    const struct {
        const char* name;
        // False when this system cannot make it (no FIFOs or links on Windows).
        bool (*make)(const fs::path& lock, const fs::path& elsewhere);
    } cases[] = {
        {"folder",
         [](const fs::path& lock, const fs::path&) { return fs::create_directory(lock); }},
        {"link to a file",
         [](const fs::path& lock, const fs::path& elsewhere) {
             test::writeFile(elsewhere / "file", "theirs");
             return test::makeSymlink(elsewhere / "file", lock);
         }},
        {"link to a folder",
         [](const fs::path& lock, const fs::path& elsewhere) {
             return test::makeFolderSymlink(elsewhere, lock);
         }},
        {"dangling link",
         [](const fs::path& lock, const fs::path& elsewhere) {
             return test::makeSymlink(elsewhere / "none", lock);
         }},
        {"FIFO", [](const fs::path& lock, const fs::path&) { return test::makeFifo(lock); }},
    };
    std::string unmade;  // the cases this system cannot set up
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::writeFile(dir / "Music/a.mp3", "audio");
        const fs::path lock = dir / "Backup" / DestinationLock::fileName;
        fs::create_directories(dir / "Backup");
        fs::create_directories(dir / "elsewhere");
        if (!c.make(lock, dir / "elsewhere")) {
            unmade += std::string(unmade.empty() ? "" : ", ") + c.name;
            continue;
        }
        const auto run = test::runBackup(
            {test::makeCrate({"A"}, {test::text(dir / "Music/a.mp3")})}, dir / "Backup");
        EXPECT_EQ(run.failure(), "The lock file " + test::text(lock) +
                                     " is not a regular file: remove it and start again.");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "Backup"), {}), 1);
        std::size_t elsewhere = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir / "elsewhere"))
            elsewhere += entry.path().filename() != "file";
        EXPECT_EQ(elsewhere, 0u);
        if (fs::exists(dir / "elsewhere" / "file")) {
            EXPECT_EQ(test::readText(dir / "elsewhere" / "file"), "theirs");
        }
    }
    if (!unmade.empty()) GTEST_SKIP() << "this system cannot make: " << unmade;
}

}  // namespace
}  // namespace morrowdeck
