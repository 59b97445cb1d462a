#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "backup/backup_engine.h"
#include "backup/manifest_recorder.h"
#include "backup/planned_source.h"
#include "engine/backup_manifest.h"
#include "engine/destination_lock.h"
#include "engine/stored_names.h"

namespace morrowdeck {

// The working state of one backup's planning pass (local to execute()).
struct BackupEngine::Plan {
    std::set<std::string> folders;                // created in ascending order
    std::unordered_set<std::string> storedPaths;  // store files that already have a copy job
    // The volume prefix of each library the crates were read from, in member order: a track's
    // path minus its library's prefix is its path as that library stores it, the key of its
    // records.
    std::vector<std::string> libraryPrefixes;

    // One per found crate entry, in crate and track order (a track listed twice in a crate
    // is two entries with one file).
    struct Entry {
        const Crate* crate;
        std::size_t track;
        const std::string* folder;  // its crate folder as stored, relative to the root
        std::string_view fileName;  // its file's stored name in the crate folder
        std::size_t member;         // the library its track is of
        std::string relPath() const;
    };
    std::vector<Entry> entries;

    // The previous run's manifest, once read: the files the backup holds, whose names stay.
    std::optional<std::optional<BackupManifest>> earlier;
    std::filesystem::path root;  // where `earlier` is read from; empty in a preview without one
    // The names of the crate folders and their files as stored, and of the store's folders and
    // files; both leave a name the backup already holds as it is.
    StoredNames crateNames{[this](const std::string& path) { return holds(path); }};
    StoredNames storeNames{[this](const std::string& path) { return holds(path); }};
    // The stored folder in the store of each source folder (its path without the leading "/").
    std::unordered_map<std::string, std::string> storeFolders;
    // The stored folder of each crate planned (relative to the root).
    std::unordered_map<const Crate*, std::string> crateFolders;

    std::unordered_map<std::string_view, PlannedSource> sources;
    // File names given a number because another track of the crate has the same name.
    std::deque<std::string> numberedNames;
    // The smart crate files copied as they are, as text: their copy jobs point into it.
    std::deque<std::string> smartCrateFiles;
    // Device and inode of every source found, so that no copy or link ever replaces one.
    using FileId = std::pair<std::uint64_t, std::uint64_t>;
    struct FileIdHash {
        std::size_t operator()(const FileId& id) const noexcept {
            return std::hash<std::uint64_t>{}(id.second ^ (id.first * 0x9E3779B97F4A7C15ull));
        }
    };
    std::unordered_set<FileId, FileIdHash> sourceIds;

    DestinationLock* destination = nullptr;  // held for the run; cleans each copy folder
    // Where this run keeps the files it replaces ("" keeps none): the run's folder among the
    // kept runs, and the destination root with a final "/", which a destination loses to give
    // its path below that folder.
    std::string replacedRun;
    std::string rootPrefix;
    ManifestRecorder* manifest = nullptr;    // brought up to date by the copy phases
    // The destination's date resolution as execute() measured it; zero in a preview.
    std::chrono::nanoseconds granularity{0};
    // The largest file the destination's file system stores (FAT's); none without a limit.
    std::optional<std::int64_t> largestFile;
    std::vector<Job> copyJobs;
    std::vector<Job> linkJobs;
    // The crate each job was planned for (a store copy: the first crate that needs it).
    std::vector<const Crate*> copyJobCrates;
    std::vector<const Crate*> linkJobCrates;
    // Tracks left out, with their crate.
    std::vector<std::pair<const Crate*, RunProblem>> problems;
    std::int64_t allBytes = 0;
    std::int64_t copyBytes = 0;
    bool smartFileQueued = false;

    // The track's path as the library stores it.
    std::string storedPath(const Entry& entry) const;
    // The crate's folder as stored, relative to the root.
    const std::string& crateFolder(const Crate& crate);
    // The store copy of a source: the store folder and the source's path below it, each name
    // as stored. Absent when the path would leave the store folder or names no file.
    std::optional<std::filesystem::path> storeCopy(const std::filesystem::path& backupRoot,
                                                   const std::string& storeFolderName,
                                                   const std::string& track);
    // The names this plan stores in another form, for the run's log; "" when none.
    std::string changedNamesText() const;
    // True when the previous run's manifest lists the path, or a file below it.
    bool holds(const std::string& relPath);

    Plan() = default;
    Plan(const Plan&) = delete;  // the name tables ask this plan
    Plan& operator=(const Plan&) = delete;
};

}  // namespace morrowdeck
