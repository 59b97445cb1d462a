// The copy policy shared by the backup and the restore, on real files.
#include "engine/file_copier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <system_error>

#include "support/engine_harness.h"
#include "support/mount_guard.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Existing = FileCopier::Existing;
using Outcome = FileCopier::Outcome;
using Job = FileCopier::Job;

struct Report {
    std::size_t index;
    Outcome outcome;
    int error;
};

// Runs the copier and returns its reports in arrival order.
std::vector<Report> copy(const std::vector<Job>& jobs, Existing existing, std::int64_t threads,
                         std::function<bool()> cancelled = {},
                         std::function<void(const Report&)> onReport = {},
                         FileCopier::Starting starting = {}, ThreadSpawner spawn = {}) {
    std::mutex mutex;
    std::vector<Report> reports;
    FileCopier({existing, 1ns, threads, std::move(spawn)}, std::move(cancelled),
               [&](std::size_t index, Outcome outcome, int error) {
                   std::lock_guard lock(mutex);
                   reports.push_back({index, outcome, error});
                   if (onReport) onReport(reports.back());
               },
               std::move(starting))
        .run(jobs);
    return reports;
}

TEST(FileCopier, UpToDateWithinTheDestinationsDateResolution) {
    const platform::FileTime source(1'700'000'001'505ms);
    const struct {
        std::int64_t size;
        platform::FileTime copyTime;
        std::chrono::nanoseconds granularity;
        bool upToDate;
    } cases[] = {
        {10, source, 1ns, true},
        {10, source - 1ns, 1ns, false},
        {10, source + 1h, 1ns, true},                               // a newer copy is kept
        {11, source, 2s, false},                                    // another size never is
        {10, platform::FileTime(1'700'000'000'000ms), 2s, true},    // FAT keeps even seconds
        {10, platform::FileTime(1'699'999'999'000ms), 2s, false},   // really older
        {10, platform::FileTime(1'700'000'001'500ms), 10ms, true},  // exFAT keeps hundredths
        {10, platform::FileTime(1'700'000'001'490ms), 10ms, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileCopier::isUpToDate({c.size, c.copyTime}, 10, source, c.granularity),
                  c.upToDate)
            << c.copyTime.time_since_epoch().count() << " / " << c.granularity.count();
    }
}

TEST(FileCopier, WhatHappensToWhatIsAlreadyThere) {
    enum class There { nothing, current, stale, source, folder };
    const struct {
        Existing existing;
        There there;
        Outcome outcome;
        int error;
        const char* content;  // at the destination afterwards (none for a folder)
    } cases[] = {
        {Existing::update, There::nothing, Outcome::copied, 0, "new"},
        {Existing::update, There::current, Outcome::skipped, 0, "old"},
        {Existing::update, There::stale, Outcome::copied, 0, "new"},
        {Existing::update, There::source, Outcome::skipped, 0, "new"},
        {Existing::update, There::folder, Outcome::failed, EEXIST, nullptr},
        {Existing::keep, There::stale, Outcome::skipped, 0, "old"},
        {Existing::keep, There::folder, Outcome::failed, EEXIST, nullptr},
        {Existing::replace, There::current, Outcome::copied, 0, "new"},
        {Existing::replace, There::source, Outcome::skipped, 0, "new"},
        {Existing::replace, There::folder, Outcome::failed, EISDIR, nullptr},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir / "new.mp3", "new");
        const std::string source = (dir / "new.mp3").native();
        const std::string folder = (c.there == There::source ? dir.path() : dir / "B").native();
        const fs::path dest = fs::path(folder) / "new.mp3";
        fs::create_directories(c.there == There::folder ? dest / "inside" : fs::path(folder));
        if (c.there == There::current || c.there == There::stale) {
            test::writeFile(dest, "old");  // same size: the date decides
            fs::last_write_time(dest, fs::last_write_time(source) +
                                          (c.there == There::current ? 1s : -1s));
        }
        const auto info = platform::fileInfo(source);
        const auto reports =
            copy({{source, folder, "new.mp3", Job::Kind::copy, info->size, info->mtime}},
                 c.existing, 16);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].outcome, c.outcome)
            << static_cast<int>(c.existing) << "/" << static_cast<int>(c.there);
        EXPECT_EQ(reports[0].error, c.error);
        if (c.content) {
            EXPECT_EQ(test::readText(dest), c.content);
            EXPECT_EQ(fs::last_write_time(dest) == fs::last_write_time(source),
                      c.outcome != Outcome::skipped || c.there == There::source);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);  // no temporary file
    }
}

TEST(FileCopier, LinksAndTheirFallbackCopy) {
    test::TempDir dir;
    test::writeFile(dir / "store" / "a.mp3", "a");
    fs::create_directories(dir / "One");
    const std::string store = (dir / "store" / "a.mp3").native();
    const std::string one = (dir / "One").native();
    const std::string missing = (dir / "Missing").native();
    const std::string other = (dir / "Other").native();
    test::TmpfsMount otherVolume(other, "size=1m");  // no hard links across file systems
    std::vector<Job> jobs{{store, one, "a.mp3", Job::Kind::link},
                          {store, missing, "a.mp3", Job::Kind::link}};
    if (otherVolume.ok()) jobs.push_back({store, other, "a.mp3", Job::Kind::link});
    const auto reports = copy(jobs, Existing::update, 1);
    ASSERT_EQ(reports.size(), jobs.size());
    EXPECT_EQ(reports[0].outcome, Outcome::linked);
    EXPECT_EQ(reports[1].outcome, Outcome::failed);
    EXPECT_EQ(reports[1].error, ENOENT);
    EXPECT_TRUE(fs::equivalent(store, dir / "One" / "a.mp3"));
    if (!otherVolume.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    EXPECT_EQ(reports[2].outcome, Outcome::linked);
    EXPECT_EQ(test::readText(fs::path(other) / "a.mp3"), "a");
}

struct Pool : ::testing::Test {
    test::TempDir dir;
    std::vector<std::string> sources;
    std::string folder = (dir / "B").native();

    std::vector<Job> jobs(int count, bool sameDestination = false) {
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            sources.push_back((dir / ("t" + std::to_string(i) + ".mp3")).native());
            const auto size = 1000 + 5000 * static_cast<std::size_t>(i % 7);
            test::writeFile(sources.back(), std::string(size, 'x'));
        }
        std::vector<Job> list;
        for (const auto& source : sources) {
            const std::string_view name = std::string_view(source).substr(source.rfind('/') + 1);
            list.push_back({source, folder, sameDestination ? "same.mp3" : name});
        }
        return list;
    }
};

TEST_F(Pool, JobsWithOneDestinationNeverOverlap) {
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    const auto reports = copy(
        jobs(24, true), Existing::replace, 8, {}, [&](const Report&) { --running; },
        [&](std::size_t) {
            most = std::max(most.load(), ++running);
            std::this_thread::sleep_for(1ms);  // widen the window for an overlap
        });
    ASSERT_EQ(reports.size(), 24u);
    for (const auto& report : reports)
        EXPECT_EQ(report.outcome, Outcome::copied) << report.error;
    EXPECT_EQ(most.load(), 1);
}

TEST_F(Pool, AJobNotStartedAtCancellationIsDropped) {
    bool cancelled = false;
    const auto reports = copy(jobs(10), Existing::update, 1, [&] { return cancelled; },
                              [&](const Report& report) { cancelled = report.index == 2; });
    ASSERT_EQ(reports.size(), 3u);
    for (std::size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i].index, i);  // list order
    EXPECT_FALSE(fs::exists(fs::path(folder) / "t3.mp3"));
}

TEST_F(Pool, FewerThreadsWhenThreadsCannotBeCreated) {
    const auto list = jobs(12);
    for (const int allowed : {0, 2}) {
        int started = 0;
        const auto spawn = [&](std::function<void()> body) {
            if (started == allowed) throw std::system_error(EAGAIN, std::generic_category());
            ++started;
            return std::thread(std::move(body));
        };
        EXPECT_EQ(copy(list, Existing::replace, 6, {}, {}, {}, spawn).size(), 12u) << allowed;
    }
    for (const std::int64_t threads : {0, -3})
        EXPECT_EQ(copy(list, Existing::replace, threads).size(), 12u);
}

}  // namespace
}  // namespace morrowdeck
