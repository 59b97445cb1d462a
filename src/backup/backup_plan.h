#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "backup/backup_engine.h"

namespace morrowdeck {

// The working state of one backup's planning pass (local to execute()).
struct BackupEngine::Plan {
    std::set<std::string> folders;                // created in ascending order
    std::unordered_set<std::string> storedPaths;  // store files that already have a copy job
    std::vector<std::pair<std::string, std::string>> entries;  // (relPath, pfilKey) per found entry
    std::vector<Job> copyJobs;
    std::vector<Job> linkJobs;
    std::int64_t allBytes = 0;
    std::int64_t copyBytes = 0;
    bool smartFileQueued = false;
};

}  // namespace morrowdeck
