#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// The files that backup re-runs replaced, kept in the backup's metadata folder: one folder per
// run, named by the run's local date and time ("2026-03-14 21.05.09", so names sort by date),
// holding each replaced file under its path in the backup.
namespace morrowdeck::ReplacedRuns {

struct Run {
    std::string name;                // the run's folder name (its date)
    std::vector<std::string> files;  // paths relative to the run's folder, sorted
};

// The folder holding the runs' folders: BACKUP/.morrowdeck/Replaced.
std::filesystem::path folder(const std::filesystem::path& backupRoot);

// The folder name for a run that started at `when`, in local time.
std::string runName(std::chrono::system_clock::time_point when);

// True for a name runName() can give.
bool isRunName(const std::string& name);

// The kept runs, oldest first, with their files; folders of other names are not runs.
std::vector<Run> list(const std::filesystem::path& backupRoot);

// Removes the oldest runs' folders until at most `keep` are left; returns how many were
// removed. Folders that are not runs are left alone.
std::size_t prune(const std::filesystem::path& backupRoot, std::size_t keep);

}  // namespace morrowdeck::ReplacedRuns
