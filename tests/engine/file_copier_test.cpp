// The copy policy shared by the backup and the restore, on real files.
#include "engine/file_copier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <set>
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
std::vector<Report> copy(const std::vector<Job>& jobs, FileCopier::Options options,
                         std::function<bool()> cancelled = {},
                         std::function<void(const Report&)> onReport = {},
                         FileCopier::Starting starting = {}) {
    std::mutex mutex;
    std::vector<Report> reports;
    FileCopier(
        std::move(options), std::move(cancelled),
        [&](std::size_t index, Outcome outcome, int error) {
            std::lock_guard lock(mutex);
            reports.push_back({index, outcome, error});
            if (onReport) onReport(reports.back());
        },
        std::move(starting))
        .run(jobs);
    return reports;
}

// Options for a run whose sources are `sources`.
FileCopier::Options options(Existing existing, const std::vector<fs::path>& sources = {},
                            std::int64_t threads = 16, ThreadSpawner spawn = {}) {
    FileCopier::Options result;
    result.existing = existing;
    result.threads = threads;
    result.spawn = std::move(spawn);
    std::set<std::pair<std::uint64_t, std::uint64_t>> ids;
    for (const auto& file : sources) {
        const auto info = platform::fileInfo(file);
        ids.insert({info->device, info->inode});
    }
    result.isSource = [ids](std::uint64_t device, std::uint64_t inode) {
        return ids.contains({device, inode});
    };
    return result;
}

TEST(FileCopier, DatesWithinTheDestinationsResolution) {
    const platform::FileTime source(1'700'000'001'505ms);
    const struct {
        std::int64_t size;
        platform::FileTime copyTime;
        std::chrono::nanoseconds granularity;
        bool upToDate;
    } cases[] = {
        {10, source, 1ns, true},
        {10, source - 1ns, 1ns, false},
        {10, source + 1ns, 1ns, false},  // a newer copy may hold an older replacement's data
        {10, source, 0ns, true},
        {11, source, 2s, false},                                    // another size never is
        {10, platform::FileTime(1'700'000'000'000ms), 2s, true},    // FAT keeps even seconds
        {10, platform::FileTime(1'700'000'002'000ms), 2s, true},    // rounded up
        {10, platform::FileTime(1'699'999'999'000ms), 2s, false},   // really older
        {10, platform::FileTime(1'700'000'004'000ms), 2s, false},   // really newer
        {10, platform::FileTime(1'700'000'001'500ms), 10ms, true},  // exFAT keeps hundredths
        {10, platform::FileTime(1'700'000'001'490ms), 10ms, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileCopier::isUpToDate({c.size, c.copyTime}, 10, source, c.granularity),
                  c.upToDate)
            << c.copyTime.time_since_epoch().count() << " / " << c.granularity.count();
    }
    // A source is newer only by a whole step of the destination's resolution.
    const struct {
        platform::FileTime existing;
        std::chrono::nanoseconds granularity;
        bool newer;
    } dates[] = {
        {source, 1ns, false},     {source - 1ns, 1ns, true}, {source + 1s, 1ns, false},
        {source - 1s, 2s, false}, {source - 2s, 2s, true},
    };
    for (const auto& d : dates)
        EXPECT_EQ(FileCopier::isNewer(source, d.existing, d.granularity), d.newer)
            << (source - d.existing).count() << " / " << d.granularity.count();
}

TEST(FileCopier, WhatHappensToWhatIsAlreadyThere) {
    enum class There { nothing, current, older, newer, source, otherSource, folder };
    const struct {
        Existing existing;
        There there;
        Outcome outcome;
        int error;
        const char* content;  // at the destination afterwards (none for a folder)
    } cases[] = {
        {Existing::update, There::nothing, Outcome::copied, 0, "new"},
        {Existing::update, There::current, Outcome::skipped, 0, "old"},
        {Existing::update, There::older, Outcome::copied, 0, "new"},
        {Existing::update, There::newer, Outcome::copied, 0, "new"},
        {Existing::update, There::source, Outcome::skipped, 0, "new"},
        {Existing::update, There::folder, Outcome::failed, EEXIST, nullptr},
        {Existing::keep, There::older, Outcome::skipped, 0, "old"},
        {Existing::keep, There::folder, Outcome::failed, EEXIST, nullptr},
        {Existing::keep, There::otherSource, Outcome::failed, FileCopier::replacesSourceError,
         "old"},
        {Existing::replace, There::current, Outcome::copied, 0, "new"},
        {Existing::replace, There::source, Outcome::skipped, 0, "new"},
        {Existing::replace, There::otherSource, Outcome::failed, FileCopier::replacesSourceError,
         "old"},
        {Existing::replace, There::folder, Outcome::failed, EISDIR, nullptr},
        {Existing::ifNewer, There::nothing, Outcome::copied, 0, "new"},
        {Existing::ifNewer, There::older, Outcome::copied, 0, "new"},
        {Existing::ifNewer, There::current, Outcome::skipped, 0, "old"},
        {Existing::ifNewer, There::newer, Outcome::skipped, 0, "old"},
        {Existing::ifNewer, There::source, Outcome::skipped, 0, "new"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir / "new.mp3", "new");
        const std::string source = test::text(dir / "new.mp3");
        const std::string folder = test::text(c.there == There::source ? dir.path() : dir / "B");
        const fs::path dest = fs::path(folder) / "new.mp3";
        fs::create_directories(c.there == There::folder ? dest / "inside" : fs::path(folder));
        if (c.there != There::nothing && c.there != There::source && c.there != There::folder) {
            test::writeFile(dest, "old");  // same size: the date decides
            const auto shift = c.there == There::current ? 0s : c.there == There::newer ? 1s : -1s;
            ASSERT_TRUE(test::copyModifiedTime(source, dest, shift));
        }
        // The replace row of the source itself names no sources, as the restore: the copier's
        // own same-file check must then hold alone.
        std::vector<fs::path> sources;
        if (c.there != There::source || c.existing != Existing::replace) sources.push_back(source);
        if (c.there == There::otherSource) sources.push_back(dest);
        const auto info = platform::fileInfo(source);
        const auto reports =
            copy({{source, folder, "new.mp3", Job::Kind::copy, info->size, info->mtime}},
                 options(c.existing, sources));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].outcome, c.outcome)
            << static_cast<int>(c.existing) << "/" << static_cast<int>(c.there);
        EXPECT_EQ(reports[0].error, c.error);
        if (c.content) {
            EXPECT_EQ(test::readText(dest), c.content);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);  // no temporary file
    }
}

TEST(FileCopier, LinkJobsPutTheStoreFileInPlace) {
    enum class There { nothing, noFolder, link, oldLink, copy, olderCopy, folder, otherSource };
    const struct {
        There there;
        bool otherVolume;  // no hard links from the store: copies stand in
        Outcome outcome;
        int error;
        const char* content;  // at the destination afterwards (none when no file)
    } cases[] = {
        {There::nothing, false, Outcome::linked, 0, "new"},
        {There::noFolder, false, Outcome::failed, ENOENT, nullptr},
        {There::link, false, Outcome::skipped, 0, "new"},
        {There::oldLink, false, Outcome::linked, 0, "new"},
        {There::copy, false, Outcome::linked, 0, "new"},
        {There::folder, false, Outcome::failed, EISDIR, nullptr},
        {There::otherSource, false, Outcome::failed, FileCopier::replacesSourceError, "old"},
        {There::nothing, true, Outcome::linked, 0, "new"},
        {There::copy, true, Outcome::skipped, 0, "new"},
        {There::olderCopy, true, Outcome::linked, 0, "new"},
    };
    bool unmountable = false;
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir / "store" / "a.mp3", "new");
        test::writeFile(dir / "store" / "old.mp3", "old");  // same size, its own inode
        const fs::path store = dir / "store" / "a.mp3";
        const fs::path folder = dir / "B";
        const fs::path dest = folder / "a.mp3";
        std::optional<test::TmpfsMount> volume;
        if (c.otherVolume && !volume.emplace(folder, "size=1m").ok()) {
            unmountable = true;
            continue;
        }
        if (c.there != There::noFolder) fs::create_directories(folder);
        std::vector<fs::path> sources;
        const fs::path old = dir / "store" / "old.mp3";
        if (c.there == There::link || c.there == There::oldLink)
            fs::create_hard_link(c.there == There::link ? store : old, dest);
        if (c.there == There::copy || c.there == There::olderCopy) {
            fs::copy_file(c.there == There::copy ? store : old, dest);
            const auto shift = c.there == There::copy ? 0s : -1s;
            ASSERT_TRUE(test::copyModifiedTime(store, dest, shift));
        }
        if (c.there == There::folder) fs::create_directories(dest / "inside");
        if (c.there == There::otherSource) {
            test::writeFile(dest, "old");
            sources.push_back(dest);
        }
        const auto reports =
            copy({{test::text(store), test::text(folder), "a.mp3", Job::Kind::link}},
                 options(Existing::keep, sources));  // links ignore Existing
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].outcome, c.outcome) << static_cast<int>(c.there);
        EXPECT_EQ(reports[0].error, c.error) << static_cast<int>(c.there);
        if (c.content) {
            EXPECT_EQ(test::readText(dest), c.content);
        }
        if (c.there == There::folder) {
            EXPECT_TRUE(fs::is_directory(dest / "inside"));
        }
        if (c.there != There::noFolder) {
            const bool toStore = c.outcome == Outcome::linked && !c.otherVolume;
            EXPECT_EQ(fs::equivalent(store, dest), toStore || c.there == There::link);
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);  // no temporary
        }
    }
    if (unmountable) GTEST_SKIP() << "cannot mount a tmpfs here: the copy fallback is untested";
}

struct Pool : ::testing::Test {
    test::TempDir dir;
    std::vector<std::string> sources;
    std::string folder = test::text(dir / "B");

    std::vector<Job> jobs(int count, bool sameDestination = false) {
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            sources.push_back(test::text(dir / ("t" + std::to_string(i) + ".mp3")));
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
        jobs(24, true), options(Existing::replace, {}, 8), {}, [&](const Report&) { --running; },
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
    const auto reports = copy(
        jobs(10), options(Existing::update, {}, 1), [&] { return cancelled; },
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
        EXPECT_EQ(copy(list, options(Existing::replace, {}, 6, spawn)).size(), 12u) << allowed;
    }
    for (const std::int64_t threads : {0, -3})
        EXPECT_EQ(copy(list, options(Existing::replace, {}, threads)).size(), 12u);
}

}  // namespace
}  // namespace morrowdeck
