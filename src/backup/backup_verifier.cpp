#include "backup/backup_verifier.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <numeric>
#include <set>
#include <unordered_map>

#include "engine/backup_catalog.h"
#include "engine/backup_layout.h"
#include "engine/backup_manifest.h"
#include "engine/content_hash.h"
#include "engine/serato_error.h"
#include "engine/worker_pool.h"
#include "library/crate_writer.h"
#include "library/formatting.h"
#include "library/serato_library.h"
#include "library/serato_library_tracks.h"
#include "library/unicode_text.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

using Level = LogEntry::Level;
using Kind = BackupVerifier::Finding::Kind;

// Names a backup may hold that are no backed-up file: macOS's companions, and copies in
// progress (or left by a killed run) under their hidden temporary names.
bool isIgnoredName(std::string_view name) {
    return name.starts_with("._") || name == ".DS_Store" || platform::isTemporaryName(name);
}

void collectTracks(const std::vector<Crate::Ptr>& crates, std::vector<std::string>& into) {
    for (const auto& crate : crates) {
        into.insert(into.end(), crate->tracks.begin(), crate->tracks.end());
        collectTracks(crate->children, into);
    }
}

}  // namespace

struct BackupVerifier::Check {
    std::filesystem::path root;
    std::string realRoot;  // the root with its links resolved, and a final "/"
    BackupManifest manifest;
    std::set<std::string> skippedFolders;  // top-level folders that hold no crate
    std::chrono::nanoseconds granularity{1};
    std::mutex mutex;  // guards findings
    std::vector<Finding> findings;
};

BackupVerifier::BackupVerifier(std::shared_ptr<MainQueue> mainQueue)
    : engineRun_(std::move(mainQueue)) {}

// The run ends before the members its work reads are destroyed.
BackupVerifier::~BackupVerifier() {
    engineRun_.stop();
}

void BackupVerifier::run(std::filesystem::path backupRoot,
                         std::optional<std::filesystem::path> library, LogCallback onLog,
                         ProgressCallback onProgress, Completion completion,
                         std::int64_t threads) {
    reporter_.setCallbacks(std::move(onLog), std::move(onProgress));
    engineRun_.start(
        [this, backupRoot = std::move(backupRoot), library = std::move(library), threads] {
            return execute(backupRoot, library, threads);
        },
        std::move(completion));
}

ProgressSnapshot BackupVerifier::execute(const std::filesystem::path& backupRoot,
                                         const std::optional<std::filesystem::path>& library,
                                         std::int64_t threads) {
    reporter_.resetStartTime();
    result_ = {};
    if (!platform::isDirectory(backupRoot)) throw SeratoError::noBackupFound(platform::toUtf8(backupRoot));
    std::vector<std::string> refused;
    auto manifest = BackupManifest::load(backupRoot, &refused);
    if (!manifest) {
        throw PlatformError("The backup " + platform::toUtf8(backupRoot) +
                            " has no manifest to check against. Back it up again with this "
                            "version to check it later.");
    }
    Check check;
    check.root = backupRoot;
    check.realRoot = platform::toUtf8(platform::resolvedPath(backupRoot).value_or(backupRoot) / "");
    check.manifest = std::move(*manifest);
    check.granularity = platform::timestampGranularity(backupRoot);
    check.skippedFolders = {std::string(BackupLayout::metadataFolder),
                            std::string(BackupLayout::defaultStoreFolder)};
    std::string store;
    if (const auto catalog = BackupCatalog::read(backupRoot);
        catalog && !catalog->storeFolder.empty()) {
        check.skippedFolders.insert(catalog->storeFolder);
        store = catalog->storeFolder;
    }
    // Only a backup that de-duplicates lists copies in its store. Lines no backup writes are
    // reported, and their paths never opened.
    std::erase_if(check.manifest.entries, [&](const auto& entry) {
        const bool foreign =
            entry.first.starts_with(std::string(BackupLayout::defaultStoreFolder) + "/") &&
            store != BackupLayout::defaultStoreFolder;
        if (foreign) refused.push_back(entry.first);
        return foreign;
    });
    for (auto& path : refused)
        add(check, {Kind::damaged, std::move(path), "not a file of the backup; not opened"});

    reporter_.setPhase("Checking files\u2026");
    reporter_.log(Level::info, "Checking " + std::to_string(check.manifest.entries.size()) +
                                   " file(s) in " + platform::toUtf8(backupRoot));
    checkListed(check, threads);
    if (reporter_.isCancelled()) return reporter_.finish(true, {});
    findUnexpected(check, backupRoot, "");
    if (library) compareWithLibrary(check, *library);

    std::ranges::sort(check.findings, [](const Finding& a, const Finding& b) {
        return std::tie(a.kind, a.path) < std::tie(b.kind, b.path);
    });
    for (const auto& finding : check.findings) {
        std::string line = kindName(finding.kind) + ": " + finding.path;
        if (!finding.detail.empty()) line += " \u2014 " + finding.detail;
        line[0] = static_cast<char>(line[0] - 'a' + 'A');
        reporter_.log(Level::warning, std::move(line));
    }
    result_.findings = std::move(check.findings);
    result_.replaced = ReplacedRuns::list(backupRoot);
    for (const auto& run : result_.replaced)
        reporter_.log(Level::info, "Kept from the run of " + run.name + ": " +
                                       std::to_string(run.files.size()) + " replaced file(s) in " +
                                       platform::toUtf8(ReplacedRuns::folder(backupRoot)) + "/" +
                                       run.name);
    // The findings become the run's counts, which its end line and exit status are read from.
    reporter_.update([this](ProgressSnapshot& snap) {
        for (const auto& finding : result_.findings) {
            ++(finding.kind == Kind::damaged   ? snap.damagedFiles
               : finding.kind == Kind::missing ? snap.missingFiles
                                               : snap.otherFindings);
        }
    });
    const Result& result = result_;
    return reporter_.finish(false, [&result](const ProgressSnapshot&) {
        return std::optional(summaryLine(result));
    });
}

// Reads every listed file once: hard links of one file (the de-duplication store and its
// crate folders) are read once for all their names, and a file of the wrong size is damaged
// without being read.
void BackupVerifier::checkListed(Check& check, std::int64_t threads) {
    struct Group {
        std::string file;
        std::int64_t size = 0;
        std::vector<std::pair<const std::string*, const BackupManifest::Entry*>> names;
        ContentHash hash;
        int error = 0;
    };
    std::vector<Group> groups;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> groupOf;
    std::int64_t bytes = 0;
    for (const auto& [path, entry] : check.manifest.entries) {
        // A file replaced by a link that leads out of the backup is no longer held by it, and
        // is not read: the file read is the one the links lead to, checked to be inside.
        const std::filesystem::path inBackup = check.root / platform::toPath(path);
        const auto real = platform::resolvedPath(inBackup);
        const std::filesystem::path& onDisk = real ? *real : inBackup;
        const std::string file = platform::toUtf8(onDisk);
        if (real && !file.starts_with(check.realRoot)) {
            add(check, {Kind::damaged, path,
                        "a link to " + file + ", outside the backup: not held by it"});
            continue;
        }
        const auto info = platform::fileInfo(file.c_str());
        if (!info) {
            if (platform::itemExists(onDisk))
                add(check, {Kind::damaged, path, "not a regular file"});
            else
                add(check, {Kind::missing, path, ""});
            continue;
        }
        if (info->size != entry.size) {
            add(check, {Kind::damaged, path,
                        std::to_string(info->size) + " bytes instead of " +
                            std::to_string(entry.size)});
            continue;
        }
        const auto [found, fresh] = groupOf.try_emplace({info->device, info->inode}, groups.size());
        if (fresh) {
            groups.push_back({file, info->size, {}, {}, 0});
            bytes += info->size;
        }
        groups[found->second].names.emplace_back(&path, &entry);
    }
    const auto listed = static_cast<std::int64_t>(check.manifest.entries.size());
    reporter_.update([&](ProgressSnapshot& snap) {
        snap.totalFiles = listed;
        snap.totalBytes = bytes;
        snap.completedFiles = listed - static_cast<std::int64_t>(std::accumulate(
                                           groups.begin(), groups.end(), std::size_t{0},
                                           [](std::size_t n, const Group& g) {
                                               return n + g.names.size();
                                           }));
    });

    runWorkerPool(
        groups.size(), threads, [this] { return reporter_.isCancelled(); },
        [&](std::size_t index, std::size_t) {
            Group& group = groups[index];
            reporter_.update([&](ProgressSnapshot& snap) {
                snap.currentFile = *group.names.front().first;
            });
            group.error = hashFile(platform::toPath(group.file), group.hash, [&](std::size_t read) {
                reporter_.updateAndMaybeEmit([&](ProgressSnapshot& snap) {
                    snap.processedBytes += static_cast<std::int64_t>(read);
                    reporter_.recomputeRate(snap);
                });
            });
            reporter_.updateAndMaybeEmit([&](ProgressSnapshot& snap) {
                snap.completedFiles += static_cast<std::int64_t>(group.names.size());
            });
        });
    if (reporter_.isCancelled()) return;

    for (const auto& group : groups) {
        for (const auto& [path, entry] : group.names) {
            if (group.error != 0)
                add(check, {Kind::damaged, *path, platform::errorText(group.error)});
            else if (group.hash != entry->hash)
                add(check, {Kind::damaged, *path, "content differs from when it was backed up"});
        }
    }
    result_.checkedFiles = listed;
    result_.checkedBytes = bytes;
}

void BackupVerifier::findUnexpected(Check& check, const std::filesystem::path& folder,
                                    const std::string& relFolder) {
    const auto names = platform::listDirectory(folder, platform::HiddenEntries::include);
    if (!names) return;
    for (const auto& name : *names) {
        if (isIgnoredName(name)) continue;
        const std::filesystem::path child = folder / platform::toPath(name);
        const std::string relPath = relFolder.empty() ? name : relFolder + "/" + name;
        if (platform::isRealDirectory(child)) {
            if (relFolder.empty() && check.skippedFolders.contains(name)) continue;
            findUnexpected(check, child, relPath);
            continue;
        }
        // Files beside the crate folders, and the notes beside smart-crate files, are the
        // backup's own.
        if (relFolder.empty()) continue;
        if (relFolder == BackupLayout::smartCratesFolder && name == BackupLayout::notesFileName)
            continue;
        if (!check.manifest.entries.contains(relPath))
            add(check, {Kind::unexpected, relPath, ""});
    }
}

// The library's tracks (of its crates, smart crates and database) matched through the
// backup's catalog, which names the library path of every backed-up file.
void BackupVerifier::compareWithLibrary(Check& check, const std::filesystem::path& library) {
    std::string warning;
    const auto catalog = BackupCatalog::read(check.root, &warning);
    if (!warning.empty()) reporter_.log(Level::warning, warning);
    if (!catalog) {
        reporter_.log(Level::warning,
                      "The backup has no catalog of its tracks: it cannot be compared with "
                      "the library.");
        return;
    }
    std::unordered_map<std::string, std::vector<const std::string*>> filesOfTrack;
    for (const auto& track : catalog->tracks)
        filesOfTrack[text::nfcKey(track.source)].push_back(&track.file);

    // A crate file or database that cannot be read is named: its tracks are not compared.
    std::vector<std::string> warnings;
    const auto forest = SeratoLibrary::loadCrates(library, &warnings);
    std::vector<std::string> tracks;
    collectTracks(forest, tracks);
    const auto others = SeratoLibrary::tracksNotInCrates(library, forest, &warnings);
    for (auto& line : warnings)
        reporter_.log(Level::warning, std::move(line));
    tracks.insert(tracks.end(), others.begin(), others.end());
    const std::string prefix = SeratoLibrary::volumeMountPrefix(library);
    std::set<std::string> seen;
    for (const auto& track : tracks) {
        const std::string stored = CrateWriter::volumeRelativeText(track, prefix);
        const std::string key = text::nfcKey(stored);
        if (!seen.insert(key).second) continue;
        const auto file = SeratoLibrary::resolveTrackFile(platform::toPath(track));
        const auto info = file ? platform::fileInfo(*file) : std::nullopt;
        if (!info) continue;  // nothing on disk to compare with
        const auto found = filesOfTrack.find(key);
        bool held = false;
        bool older = false;
        if (found != filesOfTrack.end()) {
            for (const std::string* relPath : found->second) {
                const auto entry = check.manifest.entries.find(*relPath);
                if (entry == check.manifest.entries.end()) continue;
                held = true;
                older = older || entry->second.size != info->size ||
                        info->mtime - entry->second.mtime >= check.granularity;
            }
        }
        if (!held)
            add(check, {Kind::notInBackup, track, ""});
        else if (older)
            add(check, {Kind::older, track, "changed in the library since it was backed up"});
    }
}

void BackupVerifier::add(Check& check, Finding finding) {
    std::lock_guard lock(check.mutex);
    check.findings.push_back(std::move(finding));
}

std::string BackupVerifier::kindName(Finding::Kind kind) {
    switch (kind) {
        case Kind::damaged:
            return "damaged";
        case Kind::missing:
            return "missing";
        case Kind::unexpected:
            return "unexpected";
        case Kind::notInBackup:
            return "not in backup";
        case Kind::older:
            return "older in backup";
    }
    return {};
}

std::string BackupVerifier::summaryLine(const Result& result) {
    std::string line = "Checked " + std::to_string(result.checkedFiles) + " file(s), " +
                       text::formatByteCount(static_cast<std::uint64_t>(result.checkedBytes)) +
                       ": ";
    if (result.clean()) return line + "all well.";
    std::map<Kind, std::size_t> counts;
    for (const auto& finding : result.findings)
        ++counts[finding.kind];
    bool first = true;
    for (const auto& [kind, count] : counts) {
        line += (first ? "" : ", ") + std::to_string(count) + " " + kindName(kind);
        first = false;
    }
    return line + ".";
}

}  // namespace morrowdeck
