#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The files that backup re-runs replaced, kept in the backup's metadata folder: one folder per
// run, named by the time the run started in UTC ("2026-03-14 21.05.09Z"), holding each
// replaced file under its path in the backup. Folders named by earlier versions carry the
// run's local time without the "Z" ("2026-03-14 22.05.09"); both are runs, ordered by the time
// their names give, whatever the time zone or order of the names.
namespace morrowdeck::ReplacedRuns {

using TimePoint = std::chrono::system_clock::time_point;

struct Run {
    std::string name;                // the run's folder name (its date)
    std::vector<std::string> files;  // paths relative to the run's folder, sorted
};

// The folder holding the runs' folders: BACKUP/.morrowdeck/Replaced.
std::filesystem::path folder(const std::filesystem::path& backupRoot);

// The folder name for a run that started at `when`, in UTC.
std::string runName(TimePoint when);

// The time a run's folder name gives (to the second); none for a name that is not a run's,
// such as one with month 13 or hour 24.
std::optional<TimePoint> runTime(const std::string& name);

// True for a name runTime() reads.
bool isRunName(const std::string& name);

// The kept runs, oldest first, with their files; folders of other names are not runs.
std::vector<Run> list(const std::filesystem::path& backupRoot);

// Removes the oldest runs' folders until at most `keep` are left; returns how many were
// removed. The folder named `current` (the run under way, when it kept files) is never removed
// and counts as one of the `keep`; folders that are not runs are left alone.
std::size_t prune(const std::filesystem::path& backupRoot, std::size_t keep,
                  const std::string& current = {});

}  // namespace morrowdeck::ReplacedRuns
