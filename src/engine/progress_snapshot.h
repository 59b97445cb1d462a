#pragma once

#include <cstdint>
#include <string>

namespace morrowdeck {

// The single progress record of both engines (BackupEngine::Snapshot). Counters never
// decrease during a run; ratios are for the interface to form.
struct ProgressSnapshot {
    std::string phase;
    std::int64_t totalFiles = 0;      // copy jobs + link jobs, set when planning ends
    std::int64_t completedFiles = 0;  // jobs dealt with, whatever the outcome
    std::int64_t copiedFiles = 0;
    std::int64_t skippedFiles = 0;  // existing destinations left as they were (up to date)
    std::int64_t linkedFiles = 0;
    std::int64_t missingFiles = 0;
    std::int64_t failedFiles = 0;
    std::int64_t damagedFiles = 0;  // copied from the backup, but not as it was backed up
    // What a check of a backup found that no counter above holds (unexpected files, library
    // tracks the backup lacks or holds in an older version); not part of the JSON snapshot.
    std::int64_t otherFindings = 0;
    std::int64_t totalBytes = 0;  // all found sources, once per crate entry
    std::int64_t processedBytes = 0;
    std::int64_t skippedBytes = 0;
    std::int64_t bytesToCopy = 0;  // all copy jobs, set when planning ends
    double bytesPerSecond = 0;
    std::string currentFile;
    bool finished = false;
    bool cancelled = false;

    bool operator==(const ProgressSnapshot&) const = default;
};

}  // namespace morrowdeck
