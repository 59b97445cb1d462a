#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "backup/backup_engine.h"

namespace morrowdeck {

// The working state of one backup's planning pass (local to execute()).
struct BackupEngine::Plan {
    std::set<std::string> folders;                // created in ascending order
    std::unordered_set<std::string> storedPaths;  // store files that already have a copy job
    // One per found crate entry, in crate and track order; the metadata capture derives the
    // entry's relPath and pfilKey from it only when it has metadata to match.
    struct Entry {
        const Crate* crate;
        std::size_t track;
        std::string relPath() const;
        std::string pfilKey() const;
    };
    std::vector<Entry> entries;
    // File info per distinct source path: a track listed in many crates is queried once.
    std::unordered_map<std::string_view, std::optional<platform::FileInfo>> sourceInfo;
    // Device and inode of every source found, so that no copy or link ever replaces one.
    using FileId = std::pair<std::uint64_t, std::uint64_t>;
    struct FileIdHash {
        std::size_t operator()(const FileId& id) const noexcept {
            return std::hash<std::uint64_t>{}(id.second ^ (id.first * 0x9E3779B97F4A7C15ull));
        }
    };
    std::unordered_set<FileId, FileIdHash> sourceIds;
    std::vector<Job> copyJobs;
    std::vector<Job> linkJobs;
    std::int64_t allBytes = 0;
    std::int64_t copyBytes = 0;
    bool smartFileQueued = false;
};

}  // namespace morrowdeck
