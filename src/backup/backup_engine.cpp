// BackupEngine: the run, the start checks and planning.
#include "backup/backup_engine.h"

#include <algorithm>

#include "backup/backup_plan.h"
#include "backup/crate_file_names.h"
#include "engine/backup_layout.h"
#include "engine/replaced_runs.h"
#include "engine/run_outcome.h"
#include "engine/serato_error.h"
#include "engine/worker_pool.h"
#include "library/crate_writer.h"
#include "library/formatting.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/serato_library_tracks.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

using Level = LogEntry::Level;

}  // namespace

BackupEngine::BackupEngine(std::shared_ptr<MainQueue> mainQueue)
    : engineRun_(std::move(mainQueue)) {}

// The run ends before the members its work reads are destroyed.
BackupEngine::~BackupEngine() {
    engineRun_.stop();
}

void BackupEngine::run(std::vector<Crate::Ptr> crates, std::filesystem::path destinationRoot,
                       BackupOptions options, std::optional<std::filesystem::path> databaseURL,
                       LogCallback onLog, ProgressCallback onProgress, Completion completion) {
    reporter_.setCallbacks(std::move(onLog), std::move(onProgress));
    engineRun_.start(
        [this, crates = std::move(crates), destinationRoot = std::move(destinationRoot),
         options = std::move(options), databaseURL = std::move(databaseURL)] {
            return execute(crates, destinationRoot, options, databaseURL);
        },
        std::move(completion));
}

BackupEngine::Snapshot BackupEngine::execute(
    const std::vector<Crate::Ptr>& crates, const std::filesystem::path& destinationRoot,
    const BackupOptions& options, const std::optional<std::filesystem::path>& databaseURL) {
    reporter_.resetStartTime();
    if (crates.empty()) throw SeratoError::noCratesSelected();
    std::filesystem::path existed = destinationRoot;
    while (existed.has_relative_path() && !platform::itemExists(existed))
        existed = existed.parent_path();
    if (const int error = platform::createDirectories(destinationRoot); error != 0) {
        throw PlatformError("The destination " + platform::toUtf8(destinationRoot) +
                            " could not be created: " + platform::errorText(error) + ".");
    }
    if (!platform::isWritableDirectory(destinationRoot))
        throw SeratoError::destinationUnwritable(platform::toUtf8(destinationRoot));
    // Opened before the first write, so that its sync reports every write-back error since.
    const platform::FileSystemSync destinationDisk(destinationRoot);

    reporter_.setPhase("Scanning crates\u2026");
    reporter_.log(Level::info, "Planning backup of " + std::to_string(crates.size()) +
                                   " crate(s) \u2192 " + platform::toUtf8(destinationRoot));
    Plan work;
    work.root = destinationRoot;
    work.granularity = platform::probeTimestampGranularity(destinationRoot);
    work.largestFile = largestFile_(destinationRoot);
    if (options.keepReplaced > 0) {
        work.replacedRun = platform::toUtf8(
            ReplacedRuns::folder(destinationRoot) /
            platform::toPath(ReplacedRuns::runName(std::chrono::system_clock::now())));
        work.rootPrefix = platform::toUtf8(destinationRoot / "");
    }
    const auto libraries = libraryFolders(databaseURL);
    for (const auto& library : libraries)
        work.libraryPrefixes.push_back(SeratoLibrary::volumeMountPrefix(library));
    if (!plan(crates, destinationRoot, options, work)) return finish(true);
    if (const auto renamed = work.changedNamesText(); !renamed.empty())
        reporter_.log(Level::warning, renamed);

    RunPreview destinationSpace;
    destinationSpace.measureDestination(destinationRoot);
    const auto free = destinationSpace.freeBytes;
    // Each file takes whole allocation units of the destination: many small files need far
    // more than their bytes.
    std::int64_t copySpace = 0;
    for (const auto& job : work.copyJobs)
        copySpace += RunPreview::allocatedSize(job.bytes, destinationSpace.allocationUnit);
    // Only when every planned file would not fit are the destinations looked at, so a re-run
    // onto a roomy drive stats nothing twice.
    std::optional<RunPreview> tallied;
    if (free && *free < copySpace && !options.allowPartial) {
        RunPreview& preview = tallied.emplace(destinationSpace);
        tally(work, crates, destinationRoot, options, preview);
        if (!preview.fits()) {
            // A run that does not start leaves no trace: the folders made for it go again.
            auto folder = destinationRoot;
            while (folder != existed && folder.has_relative_path() && platform::removeEmptyFolder(folder))
                folder = folder.parent_path();
            throw PlatformError(preview.notEnoughSpaceText());
        }
    }

    const auto metadata = destinationRoot / BackupLayout::metadataFolder;
    DestinationLock destination(
        reporter_, {destinationRoot},
        {metadata, metadata / SeratoFolder::crateFolder, metadata / SeratoFolder::smartCrateFolder,
         metadata / BackupLayout::connectedDatabasesFolder,
         metadata / BackupLayout::crateFileVersionsFolder,
         destinationRoot / BackupLayout::smartCratesFolder});
    work.destination = &destination;

    reporter_.update([&](Snapshot& snap) {
        snap.totalFiles = static_cast<std::int64_t>(work.copyJobs.size() + work.linkJobs.size());
        snap.totalBytes = work.allBytes;
        snap.bytesToCopy = work.copyBytes;
    });
    if (work.copyJobs.empty() && work.linkJobs.empty()) {
        reporter_.log(Level::warning,
                      "Nothing to copy \u2014 selected crates reference no existing files.");
        return finish(false);
    }

    if (free) {
        // Which files are up to date is learnt as each is copied, so the bytes planned are what
        // the run writes at most; only after a fit check were the destinations looked at.
        const auto toWrite = text::formatByteCount(
            static_cast<std::uint64_t>(tallied ? tallied->total().bytesToCopy : work.copyBytes));
        reporter_.log(Level::info,
                      (tallied ? "To write: " + toWrite : "Up to " + toWrite + " to write") +
                          " \u2022 Free on destination: " +
                          text::formatByteCount(
                              static_cast<std::uint64_t>(std::max<std::int64_t>(*free, 0))));
        if (!tallied && *free < copySpace) {  // a tallied plan that does not fit never starts
            reporter_.log(Level::warning,
                          "Destination may not have enough free space for a full copy.");
        }
    }

    reporter_.setPhase("Creating folders\u2026");
    for (const auto& folder : work.folders)
        platform::createDirectories(platform::toPath(folder));  // failures surface as failed jobs

    captureLibrarySnapshot(destinationRoot, libraries, work);
    const DatabaseRows rows = readDatabaseRows(work);
    captureSeratoMetadata(destinationRoot, work, rows);
    captureLibraryFiles(destinationRoot, libraries, crates, options, work, rows);
    saveDatabaseCopies(destinationRoot);
    if (work.smartFileQueued) writeSmartCrateNotes(destinationRoot, options.keepReplaced > 0);

    const auto granularity = work.granularity;
    // Planning read the previous manifest when it had a name to look up.
    ManifestRecorder manifest(destinationRoot,
                              work.earlier ? std::move(*work.earlier)
                                           : BackupManifest::load(destinationRoot),
                              granularity, options.verifyExisting);
    work.manifest = &manifest;
    reporter_.setPhase("Copying files\u2026");
    process(work.copyJobs, options, granularity, work);
    if (!work.linkJobs.empty()) {
        // Cancelled: the link jobs never run, and their files keep only entries that still fit.
        if (!reporter_.isCancelled()) reporter_.setPhase("Linking duplicates\u2026");
        process(work.linkJobs, options, granularity, work);
    }
    // Written also after a cancelled or partly failed run: it lists the files now there. The
    // files reach the disk before the manifest that vouches for them, so that after a power cut
    // no listed file is back empty under its name; when they cannot, the previous manifest
    // stays, and the next run hashes again what it no longer describes.
    const auto manifestFile = BackupManifest::fileOf(destinationRoot);
    if (const int error = dataSync_ ? dataSync_() : destinationDisk.sync(); error != 0) {
        reporter_.countUnsaved(platform::toUtf8(destinationRoot), error);
    } else {
        const std::string text = manifest.encode();
        if (writeMetadataFile(manifestFile, {reinterpret_cast<const std::uint8_t*>(text.data()),
                                             text.size()}) == 0)
            if (const int folderError = platform::syncFolder(manifestFile.parent_path()))
                reporter_.countUnsaved(platform::toUtf8(manifestFile), folderError);
    }
    finishReplaced(destinationRoot, options, work);
    return finish(reporter_.isCancelled());
}

// Turns the crates into folders, copy jobs and link jobs. False when cancelled.
bool BackupEngine::plan(const std::vector<Crate::Ptr>& crates, const std::filesystem::path& root,
                        const BackupOptions& options, Plan& work) {
    statSources(crates, options, work);
    for (const auto& [track, source] : work.sources)
        if (source.info) work.sourceIds.insert({source.info->device, source.info->inode});
    for (const auto& crate : crates) {
        if (reporter_.isCancelled()) return false;
        if (crate->isSmart && options.smartCrateMode == SmartCrateMode::rulesOnly) {
            // A smart crate only the database holds has no file: its rules are kept with the
            // database's other records (serato.json).
            if (!crate->crateFileURL && crate->databaseId) continue;
            const auto info = crate->crateFileURL ? fileInfo(*crate->crateFileURL) : std::nullopt;
            if (!info) {
                const std::string path =
                    crate->crateFileURL ? platform::toUtf8(*crate->crateFileURL) : crate->name;
                leaveOut(work, *crate,
                         {path, RunProblem::Kind::missing, "Missing Smart Crate file"},
                         "Missing Smart Crate file: " + crate->name);
                continue;
            }
            const std::string& file =
                work.smartCrateFiles.emplace_back(platform::toUtf8(*crate->crateFileURL));
            const std::string& folder =
                *work.folders.insert(platform::toUtf8(root / BackupLayout::smartCratesFolder))
                     .first;
            work.copyJobs.push_back({file, folder,
                                     std::string_view(file).substr(file.rfind('/') + 1),
                                     Job::Kind::copy, info->size, info->mtime});
            work.copyJobCrates.push_back(crate.get());
            work.allBytes += info->size;
            work.copyBytes += info->size;
            work.smartFileQueued = true;
            continue;
        }
        planCrateTracks(*crate, root, options, work);
    }
    return true;
}

// Queries every distinct source the crates' folders will need once, on the worker pool: on a
// large library these queries are most of the planning time, and they wait on the disk. A
// metadata query is mostly the system call itself, so more threads than a few only add
// thread start-up and contention: this pool is capped below the copy pool's width.
void BackupEngine::statSources(const std::vector<Crate::Ptr>& crates, const BackupOptions& options,
                               Plan& work) {
    std::size_t entries = 0;
    for (const auto& crate : crates)
        entries += crate->tracks.size();
    // Sized once for every entry, so planning never rehashes or moves the job lists.
    work.sources.reserve(entries);
    work.entries.reserve(entries);
    if (options.duplicateMode == DuplicateMode::dedupHardLink) {
        work.linkJobs.reserve(entries);  // the copy jobs are one per distinct source
    } else {
        work.copyJobs.reserve(entries);
    }

    std::vector<std::pair<const std::string*, PlannedSource*>> pending;
    pending.reserve(entries);
    for (const auto& crate : crates) {
        if (crate->isSmart && options.smartCrateMode == SmartCrateMode::rulesOnly) continue;
        if (!BackupLayout::isSafeFolderPath(crate->components)) continue;
        for (const auto& track : crate->tracks) {
            auto [cached, fresh] = work.sources.try_emplace(track);
            if (fresh) pending.emplace_back(&track, &cached->second);
        }
    }
    constexpr std::int64_t maxStatThreads = 4;
    runWorkerPool(
        pending.size(), std::min(options.threadCount, maxStatThreads),
        [this] { return reporter_.isCancelled(); },
        [&](std::size_t index, std::size_t) {
            *pending[index].second = PlannedSource::query(*pending[index].first);
        });
}

// A path stored in one Unicode normalisation form finds a file whose name is spelled in the
// other.
PlannedSource PlannedSource::query(const std::string& track) {
    PlannedSource source{platform::fileInfo(track.c_str()), {}};
    if (source.info) return source;
    if (const auto file = SeratoLibrary::resolveTrackFile(platform::toPath(track))) {
        source.file = platform::toUtf8(*file);
        source.info = platform::fileInfo(*file);
    }
    return source;
}

void BackupEngine::planCrateTracks(const Crate& crate, const std::filesystem::path& root,
                                   const BackupOptions& options, Plan& work) {
    // A name that is not a plain folder name would place files outside the crate's folder.
    if (!BackupLayout::isSafeFolderPath(crate.components)) {
        reporter_.update([&](Snapshot& snap) {
            snap.missingFiles += static_cast<std::int64_t>(crate.tracks.size());
        });
        const std::string line = "Skipped crate with a name that cannot be a folder: " +
                                 BackupLayout::joinComponents(crate.components);
        for (const auto& track : crate.tracks) {
            RunProblem problem{track, RunProblem::Kind::skippedUnsafe, line};
            reporter_.addProblem(problem);
            work.problems.emplace_back(&crate, std::move(problem));
        }
        reporter_.log(Level::warning, line);
        return;
    }
    const std::string& relFolder = work.crateFolder(crate);
    const std::string& crateFolder =
        *work.folders.insert(platform::toUtf8(root / platform::toPath(relFolder))).first;
    const bool dedup = options.duplicateMode == DuplicateMode::dedupHardLink;
    const CrateFileNames names(crate, work.numberedNames);

    for (std::size_t index = 0; index < crate.tracks.size(); ++index) {
        const std::string& track = crate.tracks[index];
        auto [cached, fresh] = work.sources.try_emplace(track);
        if (fresh) cached->second = PlannedSource::query(track);
        const auto& [info, onDisk] = cached->second;
        const std::string& file = onDisk.empty() ? track : onDisk;
        // In the store a source keeps its whole path; one that would climb out is refused.
        const auto store =
            dedup ? work.storeCopy(root, options.storeFolderName, track) : std::nullopt;
        const std::string_view natural = std::string_view(track).substr(track.rfind('/') + 1);
        if (!info || natural.empty() || natural == "." || natural == ".." || (dedup && !store)) {
            // A found file whose name cannot be placed safely is counted with the missing ones.
            const auto kind = info ? RunProblem::Kind::skippedUnsafe : RunProblem::Kind::missing;
            leaveOut(work, crate,
                     {track, kind,
                      info ? "Its name cannot be placed safely in the backup" : "Source not found"},
                     "Missing source: " + track);
            continue;
        }
        if (work.largestFile && info->size > *work.largestFile) {
            // Copied, it would fail at 4 GiB after writing as much: said before anything is.
            leaveOut(work, crate,
                     {track, RunProblem::Kind::failed,
                      "Too large for the destination's FAT drive (4 GiB at most a file)"},
                     "Too large for the destination's FAT drive: " + track);
            continue;
        }
        const auto [ownName, repeated] = names.nameFor(index);
        const std::string_view name = work.crateNames.name(relFolder, ownName);
        work.entries.push_back({&crate, index, &relFolder, name, memberOf(crate, index)});
        // The same track listed again in this crate has its file already.
        if (repeated) continue;
        work.allBytes += info->size;

        if (dedup) {
            work.folders.insert(platform::toUtf8(store->parent_path()));
            const auto [stored, isNew] = work.storedPaths.insert(platform::toUtf8(*store));
            const std::string_view storePath = *stored;
            const std::size_t slash = storePath.rfind('/');
            if (isNew) {
                work.copyJobs.push_back({file, storePath.substr(0, slash),
                                         storePath.substr(slash + 1), Job::Kind::copy, info->size,
                                         info->mtime});
                work.copyJobCrates.push_back(&crate);
                work.copyBytes += info->size;
            }
            work.linkJobs.push_back(
                {storePath, crateFolder, name, Job::Kind::link, 0, info->mtime});
            work.linkJobCrates.push_back(&crate);
        } else {
            work.copyJobs.push_back(
                {file, crateFolder, name, Job::Kind::copy, info->size, info->mtime});
            work.copyJobCrates.push_back(&crate);
            work.copyBytes += info->size;
        }
    }
}

std::string BackupEngine::Plan::changedNamesText() const {
    std::map<std::string, std::string> changed = crateNames.changed();
    changed.insert(storeNames.changed().begin(), storeNames.changed().end());
    return morrowdeck::changedNamesText(
        changed, "stored in a safe form (Windows, FAT and exFAT drives refuse them, or take two "
                 "of them for one); a restore gives each back where the drive accepts it");
}

void BackupEngine::leaveOut(Plan& work, const Crate& crate, RunProblem problem,
                            std::string logLine) {
    const bool failed = problem.kind == RunProblem::Kind::failed;
    reporter_.update([failed](Snapshot& snap) { ++(failed ? snap.failedFiles : snap.missingFiles); });
    reporter_.addProblem(problem);
    work.problems.emplace_back(&crate, std::move(problem));
    reporter_.log(Level::warning, std::move(logLine));
}

RunPreview BackupEngine::preview(const std::vector<Crate::Ptr>& crates,
                                 const std::optional<std::filesystem::path>& destinationRoot,
                                 const BackupOptions& options,
                                 const std::optional<std::filesystem::path>& databaseURL,
                                 SourceFacts* known) {
    if (crates.empty()) throw SeratoError::noCratesSelected();
    Plan work;
    if (destinationRoot) {
        work.root = *destinationRoot;
        work.largestFile = largestFile_(*destinationRoot);
    }
    for (const auto& library : libraryFolders(databaseURL))
        work.libraryPrefixes.push_back(SeratoLibrary::volumeMountPrefix(library));
    // Facts already known are planned with as they are: only the other sources are queried.
    if (known) {
        for (const auto& crate : crates)
            for (const auto& track : crate->tracks)
                if (const auto fact = known->byPath.find(std::string_view(track));
                    fact != known->byPath.end())
                    work.sources.try_emplace(track, fact->second);
    }
    // Without a destination the planned folders are names only: nothing is looked at there.
    const bool planned = plan(crates, destinationRoot.value_or("/"), options, work);
    // A cancelled plan may hold sources never queried; only a whole one is kept.
    if (known && planned)
        for (const auto& [track, source] : work.sources)
            known->byPath.try_emplace(std::string(track), source);
    RunPreview preview;
    if (destinationRoot) preview.measureDestination(*destinationRoot);
    tally(work, crates, destinationRoot, options, preview);
    if (auto renamed = work.changedNamesText(); !renamed.empty())
        preview.notices.push_back(std::move(renamed));
    return preview;
}

// An existing destination counts as up to date where the copier would leave it: kept, current,
// the source itself, or (for a link) already the store file.
void BackupEngine::tally(const Plan& work, const std::vector<Crate::Ptr>& crates,
                         const std::optional<std::filesystem::path>& root,
                         const BackupOptions& options, RunPreview& preview) {
    std::unordered_map<const Crate*, std::size_t> row;
    for (const auto& crate : crates) {
        row.emplace(crate.get(), preview.crates.size());
        preview.crates.emplace_back().name = BackupLayout::joinComponents(crate->components);
    }
    // A preview writes nothing, so it guesses the resolution that execute() measures.
    const auto granularity = work.granularity.count() > 0 ? work.granularity
                             : root                       ? platform::timestampGranularity(*root)
                                                          : std::chrono::nanoseconds(1);
    const auto current = [&](const Job& job) {
        if (!root) return false;
        const auto there = platform::fileInfo(platform::toPath(job.dest()));
        if (!there) return false;
        if (job.kind == Job::Kind::link) {
            const auto store = platform::fileInfo(platform::toPath(job.source));
            return store && store->device == there->device && store->inode == there->inode;
        }
        if (!options.verifyExisting) return true;
        if (FileCopier::isUpToDate(*there, job.bytes, job.mtime, granularity)) return true;
        const auto source = platform::fileInfo(platform::toPath(job.source));
        return source && source->device == there->device && source->inode == there->inode;
    };
    for (std::size_t i = 0; i < work.copyJobs.size(); ++i) {
        auto& tally = preview.crates[row.at(work.copyJobCrates[i])];
        const Job& job = work.copyJobs[i];
        if (current(job)) {
            ++tally.filesUpToDate;
            tally.bytesUpToDate += job.bytes;
        } else {
            ++tally.filesToCopy;
            tally.bytesToCopy += job.bytes;
            tally.allocationSlack +=
                RunPreview::allocatedSize(job.bytes, preview.allocationUnit) - job.bytes;
        }
    }
    for (std::size_t i = 0; i < work.linkJobs.size(); ++i) {
        auto& tally = preview.crates[row.at(work.linkJobCrates[i])];
        ++(current(work.linkJobs[i]) ? tally.filesUpToDate : tally.filesToLink);
    }
    for (const auto& [crate, problem] : work.problems)
        preview.crates[row.at(crate)].problems.push_back(problem);
}

std::string BackupEngine::Plan::Entry::relPath() const {
    return *folder + "/" + std::string(fileName);
}

const std::string& BackupEngine::Plan::crateFolder(const Crate& crate) {
    const auto [folder, fresh] = crateFolders.try_emplace(&crate);
    if (fresh) folder->second = crateNames.path({}, crate.components);
    return folder->second;
}

std::optional<std::filesystem::path> BackupEngine::Plan::storeCopy(
    const std::filesystem::path& backupRoot, const std::string& storeFolderName,
    const std::string& track) {
    auto natural = BackupLayout::storeFile(backupRoot / platform::toPath(storeFolderName), track);
    if (!natural) return natural;
    const std::string_view rest = std::string_view(track).substr(track.starts_with('/') ? 1 : 0);
    // Tracks share folders: each source folder is named once.
    const std::size_t slash = rest.rfind('/');
    const std::string_view sourceFolder =
        slash == std::string_view::npos ? std::string_view() : rest.substr(0, slash);
    auto [folder, fresh] = storeFolders.try_emplace(std::string(sourceFolder));
    if (fresh) {
        std::vector<std::string> components;
        const std::size_t size = slash == std::string_view::npos ? 0 : sourceFolder.size() + 1;
        for (std::size_t start = 0; start < size;) {
            const std::size_t end = std::min(sourceFolder.find('/', start), sourceFolder.size());
            components.emplace_back(sourceFolder.substr(start, end - start));
            start = end + 1;
        }
        folder->second = storeNames.path(storeFolderName, components);
    }
    const std::string stored =
        folder->second + "/" + storeNames.name(folder->second, rest.substr(slash + 1));
    // A path with no name to change stays exactly the one earlier runs used.
    if (stored.size() == storeFolderName.size() + 1 + rest.size() &&
        std::string_view(stored).substr(storeFolderName.size() + 1) == rest)
        return natural;
    return backupRoot / platform::toPath(stored);
}

bool BackupEngine::Plan::holds(const std::string& relPath) {
    if (!earlier)
        earlier.emplace(root.empty() ? std::nullopt : BackupManifest::load(root));
    if (!*earlier) return false;
    const auto& files = (*earlier)->entries;
    if (files.contains(relPath)) return true;
    const std::string below = relPath + "/";
    const auto next = files.lower_bound(below);
    return next != files.end() && next->first.starts_with(below);
}

std::string BackupEngine::Plan::storedPath(const Entry& entry) const {
    const std::string prefix =
        entry.member < libraryPrefixes.size() ? libraryPrefixes[entry.member] : std::string();
    return CrateWriter::volumeRelativeText(entry.crate->tracks[entry.track], prefix);
}

std::vector<std::filesystem::path> BackupEngine::libraryFolders(
    const std::optional<std::filesystem::path>& databaseURL) const {
    if (!libraries_.empty()) return libraries_;
    if (databaseURL) return {databaseURL->parent_path()};
    return {};
}

std::size_t BackupEngine::memberOf(const Crate& crate, std::size_t track) const {
    const auto members = trackMembers_.find(&crate);
    if (members == trackMembers_.end() || track >= members->second.size()) return 0;
    return members->second[track];
}

BackupEngine::Snapshot BackupEngine::finish(bool cancelled) {
    return reporter_.finish(cancelled,
                            [](const Snapshot& snap) { return std::optional(summaryLine(snap)); });
}

std::string BackupEngine::summaryLine(const Snapshot& snap) {
    const RunOutcome outcome = RunOutcome::of(snap);
    if (outcome.isCancelled()) return "Backup cancelled.";
    return std::string(outcome.isSuccess() ? "Backup complete" : "Backup finished with issues") +
           " \u2014 " + std::to_string(snap.copiedFiles) + " copied, " +
           std::to_string(snap.linkedFiles) + " linked, " + std::to_string(snap.skippedFiles) +
           " up-to-date, " + std::to_string(snap.failedFiles) + " failed, " +
           std::to_string(snap.missingFiles) + " missing.";
}

std::optional<platform::FileInfo> BackupEngine::fileInfo(const std::filesystem::path& file) {
    return platform::fileInfo(file);
}

std::optional<std::int64_t> BackupEngine::freeSpace(const std::filesystem::path& path) {
    return platform::freeSpace(path);
}

}  // namespace morrowdeck
