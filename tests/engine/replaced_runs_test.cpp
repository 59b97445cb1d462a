// The kept runs' folder names: both forms read as times, names that are no valid time are no
// runs, and pruning goes by time and never removes the run under way.
#include "engine/replaced_runs.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// Sets the local time zone (a POSIX TZ string) for the life of the object.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) : old_(test::environment("TZ")) {
        test::setEnvironment("TZ", zone);
        test::applyTimeZone();
    }
    ~ScopedTimeZone() {
        test::setEnvironment("TZ", old_);
        test::applyTimeZone();
    }

  private:
    std::optional<std::string> old_;
};

TEST(ReplacedRuns, NamesReadAsTimes) {
    const ScopedTimeZone zone("XXX-10");  // UTC+10
    const auto utc = [](int y, unsigned m, unsigned d, int h, int min, int s) {
        return sys_days(year(y) / m / d) + hours(h) + minutes(min) + seconds(s);
    };
    const struct {
        const char* name;
        std::optional<ReplacedRuns::TimePoint> when;
    } cases[] = {
        {"2026-03-14 21.05.09Z", utc(2026, 3, 14, 21, 5, 9)},
        {"2026-03-14 21.05.09", utc(2026, 3, 14, 11, 5, 9)},  // an earlier version's local time
        {"2024-02-29 23.59.59Z", utc(2024, 2, 29, 23, 59, 59)},
        {"2023-02-29 00.00.00Z", std::nullopt},
        {"2024-13-45 99.99.99", std::nullopt},
        {"2024-04-31 00.00.00", std::nullopt},
        {"2024-01-01 24.00.00Z", std::nullopt},
        {"2024-01-01 00.60.00Z", std::nullopt},
        {"2024-01-01 00.00.60Z", std::nullopt},
        {"2024-00-01 00.00.00Z", std::nullopt},
        {"2024-01-01 00.00.00z", std::nullopt},
        {"2024-01-01 00.00.00ZZ", std::nullopt},
        {"2024-01-01 00:00:00", std::nullopt},
        {"not a run", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplacedRuns::runTime(c.name), c.when) << c.name;
        EXPECT_EQ(ReplacedRuns::isRunName(c.name), c.when.has_value()) << c.name;
    }
    const auto now = floor<seconds>(system_clock::now());
    EXPECT_EQ(ReplacedRuns::runTime(ReplacedRuns::runName(now)), now);
    EXPECT_TRUE(ReplacedRuns::runName(now).ends_with("Z"));
}

// Folders named in local time east of UTC sort after UTC names of later runs; one folder from
// a clock set to 2099 sorts last of all. Neither may make the run under way look oldest.
TEST(ReplacedRuns, PruneGoesByTimeAndKeepsTheCurrentRun) {
    const ScopedTimeZone zone("XXX-12");  // UTC+12: 10.00 local is 22.00 UTC the day before
    const char* local = "2024-05-01 10.00.00";
    const char* five = "2024-05-01 05.00.00Z";
    const char* six = "2024-05-01 06.00.00Z";
    const char* wrongClock = "2099-01-01 00.00.00";
    const struct {
        const char* name;
        std::vector<const char*> runs;
        std::size_t keep;
        const char* current;
        std::vector<const char*> left;  // oldest first
    } cases[] = {
        {"by time, not by name", {local, five, six}, 2, "", {five, six}},
        {"the current run before a wrong clock's", {five, six, wrongClock}, 1, six, {six}},
        {"the current run and the newest other", {local, five, wrongClock}, 2, five,
         {five, wrongClock}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const fs::path folder = ReplacedRuns::folder(dir.path());
        for (const char* name : c.runs)
            test::writeFile(folder / name / "C" / "a.mp3", "kept");
        for (const char* other : {"2024-13-45 99.99.99", "notes"})
            fs::create_directories(folder / other);

        EXPECT_EQ(ReplacedRuns::prune(dir.path(), c.keep, c.current),
                  c.runs.size() - c.left.size());
        std::vector<std::string> left;
        for (const auto& run : ReplacedRuns::list(dir.path()))
            left.push_back(run.name);
        EXPECT_EQ(left, std::vector<std::string>(c.left.begin(), c.left.end()));
        EXPECT_TRUE(fs::exists(folder / "2024-13-45 99.99.99"));
        EXPECT_TRUE(fs::exists(folder / "notes"));
    }
}

}  // namespace
}  // namespace morrowdeck
