// RestoreEngine: the run, its start checks, the crate phase and the file copy.
#include "restore/restore_engine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <memory>
#include <unordered_map>

#include "engine/backup_layout.h"
#include "engine/destination_lock.h"
#include "engine/serato_error.h"
#include "engine/stored_names.h"
#include "library/crate_writer.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/processes.h"
#include "restore/library_writer.h"
#include "restore/restore_run.h"
#include "restore/restore_texts.h"

namespace morrowdeck {

namespace {

using Level = LogEntry::Level;

std::string join(const std::vector<std::string>& components, std::string_view separator) {
    std::string joined;
    for (const auto& component : components) {
        if (!joined.empty()) joined += separator;
        joined += component;
    }
    return joined;
}

// The path with every symbolic link resolved; the path itself when that fails.
std::filesystem::path resolvedPath(const std::filesystem::path& path) {
    return platform::resolvedPath(path).value_or(path);
}

std::uint32_t secondsNow() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return static_cast<std::uint32_t>(seconds);
}

}  // namespace

RestoreEngine::RestoreEngine(std::shared_ptr<MainQueue> mainQueue)
    : engineRun_(std::move(mainQueue)) {}

// The run ends before the members its work reads are destroyed.
RestoreEngine::~RestoreEngine() {
    engineRun_.stop();
}

void RestoreEngine::run(std::filesystem::path backupRoot, std::filesystem::path audioTarget,
                        std::filesystem::path seratoLibrary, ExistingFiles existing,
                        bool rebuildDatabase, LogCallback onLog, ProgressCallback onProgress,
                        Completion completion, std::int64_t threadCount) {
    reporter_.setCallbacks(std::move(onLog), std::move(onProgress));
    engineRun_.start(
        [this, backupRoot = std::move(backupRoot), audioTarget = std::move(audioTarget),
         seratoLibrary = std::move(seratoLibrary), existing, rebuildDatabase, threadCount] {
            return execute(backupRoot, audioTarget, seratoLibrary, existing, rebuildDatabase,
                           threadCount);
        },
        std::move(completion));
}

RestoreEngine::Snapshot RestoreEngine::execute(const std::filesystem::path& backupRoot,
                                               const std::filesystem::path& audioTarget,
                                               const std::filesystem::path& seratoLibrary,
                                               ExistingFiles existing, bool rebuildDatabase,
                                               std::int64_t threadCount) {
    reporter_.resetStartTime();
    // Serato rewrites its crate files and database V2 while it runs and on quitting, over
    // what the restore would write.
    const auto serato = platform::seratoProcess(processTable_);
    if (serato == platform::SeratoProcess::running) throw SeratoError::seratoRunning();
    // Every library has its place before the first one is written.
    for (const auto& target : targets_)
        if (target.found == MemberTarget::Found::none) throw SeratoError::noTarget(target.name);
    if (serato == platform::SeratoProcess::unknown) unknownSeratoState_ = true;

    Totals totals;
    bool done = true;
    if (targets_.empty()) {
        done = restoreLibrary(nullptr, backupRoot, audioTarget, seratoLibrary, existing,
                              rebuildDatabase, threadCount, totals);
    } else {
        for (const auto& target : targets_) {
            // The first library's start failure stops the run with nothing written; a later
            // one's is a failure of that library, after the libraries before it were restored.
            try {
                done = restoreLibrary(&target, backupRoot, target.root, target.serato, existing,
                                      rebuildDatabase, threadCount, totals);
            } catch (const std::exception& error) {
                if (&target == &targets_.front()) throw;
                reporter_.countFailure({platform::toUtf8(target.serato), RunProblem::Kind::failed,
                                        error.what()},
                                       Level::error,
                                       "Restore failed: the library " + target.name + " \u2014 " +
                                           error.what());
            }
            if (!done) break;
        }
    }
    if (!done) return finish(true);
    if (!totals.anything) {
        reporter_.log(Level::warning, "No crates or smart crates found in that folder.");
        const Snapshot snapshot = reporter_.update([](Snapshot& snap) {
            snap.finished = true;
            snap.cancelled = false;
            snap.currentFile.clear();
            snap.phase = "Done";
            return snap;
        });
        reporter_.deliver(snapshot);
        return snapshot;
    }
    return finish(reporter_.isCancelled(),
                  "Restored " + std::to_string(totals.crates) + " crate(s), " +
                      std::to_string(totals.smartCrates) + " smart crate(s), " +
                      std::to_string(totals.tracks) + " track(s) in " +
                      std::to_string(totals.entries) + " crate entr" +
                      (totals.entries == 1 ? "y" : "ies") + ", " + std::to_string(totals.records) +
                      " track record(s). " +
                      (totals.databasePutBack ? "Serato's database was put back. " : "") +
                      std::string(totals.needsApply ? RestoreTexts::hintApply
                                                    : RestoreTexts::hintReady));
}

bool RestoreEngine::restoreLibrary(const MemberTarget* place,
                                   const std::filesystem::path& backupRoot,
                                   const std::filesystem::path& audioTarget,
                                   const std::filesystem::path& seratoLibrary,
                                   ExistingFiles existing, bool rebuildDatabase,
                                   std::int64_t threadCount, Totals& totals) {
    Run run;
    run.place = place;
    std::vector<CrateEntry> entries;
    std::vector<std::filesystem::path> scrates;
    prepare(run, backupRoot, seratoLibrary, entries, scrates);
    run.existing = existing;
    run.rebuildDatabase = rebuildDatabase;
    run.restoreTime = secondsNow();
    // As it was, the audio is written below the place's root: the folder that holds all of it
    // is the one checked, locked and given the notes.
    const std::filesystem::path audioFolder = place ? placeFolder(run) : audioTarget;
    // Serato's database is put back once, with the first library.
    const bool first = !place || place == &targets_.front();

    // What the run may replace is saved before its first change; a save that fails stops the
    // run with nothing written.
    const auto journal = beginUndo(run);
    LibraryWriter writer(*journal, reporter_);
    run.writer = &writer;
    for (const auto& folder : {run.crateFolder(), run.smartCrateFolder(), audioFolder}) {
        if (const int error = writer.createFolder(folder); error != 0) {
            throw PlatformError("The folder " + platform::toUtf8(folder) +
                                " could not be created: " + platform::errorText(error) + ".");
        }
    }
    for (const auto& folder : {audioFolder, run.seratoRoot})
        if (!platform::isWritableDirectory(folder))
            throw SeratoError::destinationUnwritable(platform::toUtf8(folder));
    DestinationLock destination(
        reporter_, {audioFolder, run.seratoRoot},
        {run.crateFolder(), run.smartCrateFolder(), run.seratoRoot / RestoreTexts::stagedFolder});
    run.destination = &destination;
    // Opened before the first write, so that the end's sync reports every write-back error.
    const auto disks = platform::FileSystemSync::forFolders({audioFolder, run.seratoRoot});
    // Restored paths are written relative to the volume of the Serato folder, the rule its
    // crate files are read by; both sides are resolved, so an audio folder reached through a
    // symbolic link onto another drive gives paths to where the files really are.
    run.audioTarget = resolvedPath(audioFolder);
    if (place) run.placeRoot = resolvedPath(place->root);
    run.volumePrefix = SeratoLibrary::volumeMountPrefix(resolvedPath(run.seratoRoot));
    // Dates are compared as finely as the audio target keeps them; measuring costs a file.
    if (existing == ExistingFiles::ifNewer)
        run.granularity = platform::probeTimestampGranularity(run.audioTarget);
    // Said once the run's inputs and folders are known good, so that a refusal stays one line.
    if (unknownSeratoState_) {
        reporter_.log(Level::warning, std::string(RestoreTexts::seratoStateUnknown));
        unknownSeratoState_ = false;
    }
    reporter_.setPhase("Scanning backup\u2026");
    reporter_.log(Level::info, "Restoring from " + platform::toUtf8(backupRoot));
    if (place)
        reporter_.log(Level::info, "Restoring the library " + place->name + " to " +
                                       platform::toUtf8(place->root) + ", its Serato folder " +
                                       platform::toUtf8(run.seratoRoot));

    if (!run.snapshotTable.empty()) {
        reporter_.log(Level::info, "Found library snapshot \u2014 restoring full metadata for " +
                                       std::to_string(run.snapshotTable.size()) + " track(s).");
    }

    // A crate that lists such a file keeps the track's original path for it.
    for (const auto& file : run.missingFromBackup) {
        reporter_.log(Level::warning, "Missing from the backup: " + file);
        reporter_.addProblem({file, RunProblem::Kind::missing, "Not in the backup"});
    }
    if (!run.missingFromBackup.empty()) {
        reporter_.update([&](Snapshot& snap) {
            snap.missingFiles += static_cast<std::int64_t>(run.missingFromBackup.size());
        });
    }
    for (const auto& file : run.withoutPlace)
        reporter_.log(Level::info, "Left in the backup, " +
                                       std::string(RestoreTexts::notATrack) + ": " + file);
    for (const auto& file : run.unsafePaths)
        reporter_.countFailure({file, RunProblem::Kind::failed,
                                std::string(RestoreTexts::unsafeTrackPath)},
                               Level::error,
                               "Restore failed: " + file + " \u2014 " +
                                   std::string(RestoreTexts::unsafeTrackPath));
    if (first)
        for (const auto& entry : run.notInLastRun)
            reporter_.log(Level::info, "Left in the backup, " +
                                           std::string(RestoreTexts::notInLastRun) + ": " +
                                           join(entry.components, "/"));

    if (entries.empty() && scrates.empty() && run.savedCrates.empty()) {
        if (first) totals.databasePutBack = putSeratoDatabase(run, *journal);
        journal->finish();
        return true;
    }
    totals.anything = true;

    reporter_.setPhase("Restoring crates\u2026");
    const auto cancelled = [&] {
        finishUndo(*journal);
        return false;
    };
    if (!restoreCrates(run, entries, scrates.size(), threadCount)) return cancelled();
    journal->writeIndex();  // the copies are recorded: a milestone

    if (!scrates.empty()) {
        reporter_.setPhase("Restoring smart crates\u2026");
        if (!restoreSmartCrates(run, scrates)) return cancelled();
    }

    writeCrateOrder(run, scrates);
    if (rebuildDatabase && !run.recordTable.empty()) writeDatabase(run);
    const std::size_t stagedRules = stageRatingsAndRules(run, scrates);
    // As it was, the library needs no notes: its files are back where Serato had them.
    if (!place) writeNotes(run);
    if (first) totals.databasePutBack = putSeratoDatabase(run, *journal);
    finishUndo(*journal);
    // The restored files and folders reach the disk before the run calls itself done.
    for (const auto& disk : disks) {
        if (const int error = disk.sync(); error != 0)
            reporter_.countUnsaved(platform::toUtf8(disk.folder()), error);
    }

    totals.crates += run.restoredCrates;
    totals.smartCrates += scrates.size();
    totals.tracks += run.restoredTracks;
    totals.entries += run.crateEntries;
    totals.records += run.databaseWritten ? run.recordTable.size() : 0;
    totals.needsApply = totals.needsApply || stagedRules > 0 || !run.pathMap.empty();
    return !reporter_.isCancelled();
}

// One file per track: the backup's files that are the same library track (by the catalog,
// by Serato's saved record, or as hard links of one stored file) are restored once, and every
// crate that listed the track points at that one file. The copies run on the pool; the crate
// files, records and failure lines then follow crate by crate in the backup's order, whatever
// order the copies finished in. False when cancelled: the crates before the first one with a
// copy that cancellation dropped are complete (their crate files written), the rest are left
// out.
void RestoreEngine::prepare(Run& run, const std::filesystem::path& backupRoot,
                            const std::filesystem::path& seratoLibrary,
                            std::vector<CrateEntry>& entries,
                            std::vector<std::filesystem::path>& scrates) {
    run.backupRoot = backupRoot;
    // A chosen folder named "_Serato_" is the library itself, whether or not it exists yet.
    run.seratoRoot = SeratoLibrary::resolveLibrary(seratoLibrary)
                         .value_or(seratoLibrary.filename() == SeratoFolder::name
                                       ? seratoLibrary
                                       : seratoLibrary / SeratoFolder::name);

    // What the backup holds is read before anything is created: a folder that is no backup
    // leaves no empty library behind.
    readBackupMetadata(run);
    std::vector<std::string> skipped{std::string(BackupLayout::metadataFolder),
                                     std::string(BackupLayout::defaultStoreFolder)};
    if (run.catalog && !run.catalog->storeFolder.empty())
        skipped.push_back(run.catalog->storeFolder);
    scan(backupRoot, backupRoot, entries, scrates, skipped);
    if (run.catalog)
        run.missingFromBackup = adoptCatalogFiles(*run.catalog, backupRoot, skipped, entries);
    scrates = smartCratesToRestore(run, scrates);
    keepCratesOfLastRun(run, entries, scrates);
    if (!crates_.empty()) keepChosenCrates(run, entries, scrates);
    if (run.place) {
        if (!run.catalog)
            throw SeratoError::noOriginalPaths(platform::toUtf8(backupRoot));
        keepFilesOfPlace(run, entries);
        // The smart crates of the backup's folders are the first library's.
        if (run.place->member != 0) scrates = run.savedSmartCrates;
    }
    if (entries.empty() && scrates.empty() && run.savedCrates.empty() &&
        !platform::isDirectory(run.metadataFolder()))
        throw SeratoError::noBackupFound(platform::toUtf8(backupRoot));
}

bool RestoreEngine::restoreCrates(Run& run, const std::vector<CrateEntry>& entries,
                                  std::size_t smartCrates, std::int64_t threads) {
    if (reporter_.isCancelled()) return false;
    // A name is tried in its folder, which is made (and recorded for undo) first.
    const auto accepts = [&](const std::filesystem::path& folder, const std::string& name,
                             const std::string&) {
        run.writer->createFolder(folder);
        return nameCheck_(folder, name);
    };
    CopyPlan plan = planCopies(run, entries, accepts);
    if (!plan.keptNamesText.empty()) reporter_.log(Level::warning, plan.keptNamesText);
    if (run.existing == ExistingFiles::keepBoth) placeBesideExisting(run, plan, run.granularity);
    for (const auto& folder : plan.folders)
        run.writer->createFolder(platform::toPath(folder));  // a failure shows as failed copies
    const auto& jobs = plan.jobs;
    const auto& jobOfFile = plan.jobOfFile;
    const std::size_t crateFiles = plan.crateFiles + savedCratesWithoutFolder(run, entries).size();
    // The bytes to copy, from which the time left is estimated: each file's size in the backup.
    std::vector<std::int64_t> sizes(jobs.size(), 0);
    std::int64_t bytesToCopy = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (const auto info = platform::fileInfo(std::string(jobs[i].source)))
            sizes[i] = info->size;
        bytesToCopy += sizes[i];
    }
    reporter_.update([&](Snapshot& snap) {
        // Restoring as it was adds each library's work as its turn comes.
        snap.totalFiles += static_cast<std::int64_t>(jobs.size() + crateFiles + smartCrates);
        snap.bytesToCopy += bytesToCopy;
    });
    const auto outcomes = copyFiles(run, plan, sizes, threads);
    run.restoredTracks = jobs.size();

    std::vector<bool> seen(jobs.size(), false);
    std::size_t index = 0;
    for (const auto& entry : entries) {
        const std::size_t end = index + entry.files.size();
        for (std::size_t i = index; i < end; ++i)
            if (!outcomes[jobOfFile[i]]) return false;  // dropped by cancellation

        const std::string relFolder = join(entry.components, "/");
        std::vector<std::string> paths;
        for (const auto& file : entry.files) {
            const std::size_t job = jobOfFile[index++];
            const std::filesystem::path destination = jobs[job].dest();
            std::string key = CrateWriter::volumeRelativePath(destination, run.volumePrefix);
            const std::string relPath = relFolder + "/" + platform::toUtf8(file.filename());
            run.pathMap[text::nfcKey(relPath)] = key;
            if (const auto source = run.sourceOfFile.find(relPath);
                source != run.sourceOfFile.end())
                run.keyOfSource.try_emplace(text::nfcKey(source->second), key);
            if (!seen[job]) {
                seen[job] = true;
                if (!plan.fates.empty() && plan.fates[job] == Fate::refused) {
                    reporter_.addProblem({jobs[job].dest(), RunProblem::Kind::failed,
                                          std::string(RestoreTexts::noRestoredName)});
                    reporter_.log(Level::error, "Restore failed: " + jobs[job].dest() + " \u2014 " +
                                                    std::string(RestoreTexts::noRestoredName));
                } else if (outcomes[job]->first == FileCopier::Outcome::failed &&
                           outcomes[job]->second != FileCopier::damagedError) {
                    logFailure(jobs[job], outcomes[job]->second);
                }
            }
            // A refused copy leaves the existing file, and its record, as they are.
            const bool refused = !plan.fates.empty() && plan.fates[job] == Fate::refused;
            if (run.rebuildDatabase && !refused) recordStep(run, destination, key, relPath);
            paths.push_back(std::move(key));
        }
        run.crateEntries += paths.size();
        if (makesCrateFile(run, relFolder))
            writeCrate(run, relFolder, crateComponents(run, relFolder), entry.files, paths);
    }
    for (const auto& components : savedCratesWithoutFolder(run, entries))
        writeCrate(run, BackupLayout::joinComponents(components), components, {}, {});
    return !reporter_.isCancelled();
}

std::unique_ptr<UndoJournal> RestoreEngine::beginUndo(const Run& run) {
    std::string error;
    auto journal = UndoJournal::begin(
        run.seratoRoot, UndoIndex::Kind::restore,
        [this](std::string line) { reporter_.log(Level::info, std::move(line)); }, error);
    if (!journal) throw PlatformError(error + " Nothing was restored.");
    // Every library file the run may replace: small, so all are saved rather than worked out.
    // One that is not a regular file or too large to read is never replaced, so needs no copy.
    std::vector<std::pair<std::filesystem::path, std::uint64_t>> files{
        {run.seratoRoot / SeratoFolder::databaseFile, maxMetadataBytes},
        {run.seratoRoot / SeratoFolder::crateOrderFile, maxCrateBytes},
        {run.seratoRoot / RestoreTexts::stagedFolder / RestoreTexts::stagedFile, maxMetadataBytes}};
    for (const auto& folder : {run.crateFolder(), run.smartCrateFolder()})
        for (const auto& name : platform::listDirectory(folder, platform::HiddenEntries::include)
                                    .value_or(std::vector<std::string>{}))
            if (!platform::isTemporaryName(name)) files.emplace_back(folder / platform::toPath(name), maxCrateBytes);
    for (const auto& [file, maxBytes] : files) {
        const auto info = platform::fileInfo(file);
        if (!info || static_cast<std::uint64_t>(info->size) > maxBytes) continue;
        if (const std::string problem = journal->save(file, UndoJournal::Kind::serato);
            !problem.empty()) {
            journal->discard();
            throw PlatformError("Couldn't save " + platform::toUtf8(file) + " in the undo folder " +
                                platform::toUtf8(journal->folder()) + " (" + problem +
                                "). Nothing was restored.");
        }
    }
    if (const int code = journal->writeIndex(); code != 0) {
        journal->discard();
        throw PlatformError("Couldn't write the undo record in " +
                            platform::toUtf8(journal->folder()) + ": " + platform::errorText(code) +
                            ". Nothing was restored.");
    }
    return journal;
}

void RestoreEngine::finishUndo(UndoJournal& journal) {
    if (const int error = journal.finish(); error != 0)
        reporter_.countFailure({platform::toUtf8(journal.folder()), RunProblem::Kind::failed,
                                platform::errorText(error)},
                               Level::error,
                               "Couldn't write the undo record in " +
                                   platform::toUtf8(journal.folder()) + ": " +
                                   platform::errorText(error));
}

RestoreEngine::CopyPlan RestoreEngine::planCopies(const Run& run,
                                                  const std::vector<CrateEntry>& entries,
                                                  const TargetNames::Accepts& accepts) {
    static const std::map<std::string, std::string> noNames;
    // A folder per crate: each name the way the target takes it. As it was: each track's own
    // path below its place's root, the drive it came from having held it.
    TargetNames targets(run.catalog && !run.place ? run.catalog->names : noNames, run.audioTarget,
                        accepts);
    if (!run.place)
        for (const auto& entry : entries)
            for (const auto& file : entry.files)
                targets.add(join(entry.components, "/") + "/" + platform::toUtf8(file.filename()));

    CopyPlan plan;
    std::unordered_map<std::string, std::size_t> jobOfTrack;
    for (const auto& entry : entries) {
        const std::string relFolder = join(entry.components, "/");
        plan.crateFiles += makesCrateFile(run, relFolder) ? 1 : 0;
        if (!run.place)
            plan.folders.push_back(
                platform::toUtf8(run.audioTarget / platform::toPath(targets.path(relFolder))));
        for (const auto& file : entry.files) {
            const std::string relPath = relFolder + "/" + platform::toUtf8(file.filename());
            // As it was, one place is one file, whichever libraries list the track there.
            const std::string* original =
                run.place ? &run.originalPathOfFile.at(relPath) : nullptr;
            const auto [found, fresh] = jobOfTrack.try_emplace(
                original ? "place:" + text::nfcKey(*original) : trackIdentity(run, relPath, file),
                plan.jobs.size());
            if (fresh) {
                const std::string_view source = plan.sources.emplace_back(platform::toUtf8(file));
                const std::string& target = original ? *original : targets.path(relPath);
                const std::size_t slash = target.rfind('/');
                if (run.place)
                    plan.folders.push_back(platform::toUtf8(
                        slash == std::string::npos
                            ? run.placeRoot
                            : run.placeRoot / platform::toPath(target.substr(0, slash))));
                const std::string_view name = plan.names.emplace_back(
                    slash == std::string::npos ? target : target.substr(slash + 1));
                plan.jobs.push_back({source, plan.folders.back(), name});
            }
            plan.jobOfFile.push_back(found->second);
        }
    }
    plan.keptNamesText = changedNamesText(
        targets.keptStored(), "keep the safe form the backup stored them under, as the target "
                              "drive refuses their own names or would take two of them for one");
    return plan;
}

RunPreview RestoreEngine::preview(const std::filesystem::path& backupRoot,
                                  const std::filesystem::path& audioTarget,
                                  const std::filesystem::path& seratoLibrary,
                                  ExistingFiles existing) {
    RunPreview preview;
    preview.countsExisting = true;
    if (targets_.empty()) {
        previewLibrary(nullptr, backupRoot, audioTarget, seratoLibrary, existing, preview);
        preview.measureDestination(audioTarget);
        return preview;
    }
    // As it was, a crate of several libraries is one row; a library without a place is
    // planned nowhere (the run would not start) and counts nothing.
    for (const auto& target : targets_)
        if (target.found != MemberTarget::Found::none)
            previewLibrary(&target, backupRoot, target.root, target.serato, existing, preview);
    preview.measureDestination(targets_.front().root);
    return preview;
}

void RestoreEngine::previewLibrary(const MemberTarget* place,
                                   const std::filesystem::path& backupRoot,
                                   const std::filesystem::path& audioTarget,
                                   const std::filesystem::path& seratoLibrary,
                                   ExistingFiles existing, RunPreview& preview) {
    Run run;
    run.place = place;
    std::vector<CrateEntry> entries;
    std::vector<std::filesystem::path> scrates;
    prepare(run, backupRoot, seratoLibrary, entries, scrates);
    run.existing = existing;
    run.audioTarget = resolvedPath(place ? placeFolder(run) : audioTarget);
    if (place) run.placeRoot = resolvedPath(place->root);
    // Nothing is tried here: a name counts as given back when it is there, or the stored one
    // is not.
    const auto givenBack = [](const std::filesystem::path& folder, const std::string& name,
                              const std::string& stored) {
        return platform::itemExists(folder / platform::toPath(name)) ||
               !platform::itemExists(folder / platform::toPath(stored));
    };
    CopyPlan plan = planCopies(run, entries, givenBack);
    placeBesideExisting(run, plan, platform::timestampGranularity(run.audioTarget));

    // A file is restored once, counted in the first crate that holds it.
    if (!plan.keptNamesText.empty()) preview.notices.push_back(plan.keptNamesText);
    std::vector<bool> counted(plan.jobs.size(), false);
    std::size_t index = 0;
    for (const auto& entry : entries) {
        RunPreview::Tally tally;
        tally.name = join(entry.components, "/");
        for (std::size_t i = 0; i < entry.files.size(); ++i) {
            const std::size_t job = plan.jobOfFile[index++];
            if (counted[job]) continue;
            counted[job] = true;
            const auto source = platform::fileInfo(std::string(plan.jobs[job].source));
            const std::int64_t bytes = source ? source->size : 0;
            const Fate fate = plan.fates[job];
            if (fate == Fate::refused) {
                tally.problems.push_back({plan.jobs[job].dest(), RunProblem::Kind::failed,
                                          std::string(RestoreTexts::noRestoredName)});
                continue;
            }
            const bool kept = fate == Fate::keep;
            ++(kept ? tally.filesUpToDate : tally.filesToCopy);
            (kept ? tally.bytesUpToDate : tally.bytesToCopy) += bytes;
            tally.filesToReplace += fate == Fate::replace ? 1 : 0;
            tally.filesBesideExisting += fate == Fate::aside ? 1 : 0;
        }
        const auto same = std::find_if(preview.crates.begin(), preview.crates.end(),
                                       [&](const auto& row) { return row.name == tally.name; });
        if (same == preview.crates.end())
            preview.crates.push_back(std::move(tally));
        else
            same->add(tally);
    }
    for (const auto& file : run.unsafePaths)
        preview.crates.emplace_back().problems.push_back(
            {file, RunProblem::Kind::failed, std::string(RestoreTexts::unsafeTrackPath)});
    for (const auto& file : run.missingFromBackup) {
        const std::string folder = BackupLayout::folderOf(file);
        auto row = std::find_if(preview.crates.begin(), preview.crates.end(),
                                [&](const auto& tally) { return tally.name == folder; });
        if (row == preview.crates.end()) {
            preview.crates.emplace_back().name = folder;
            row = std::prev(preview.crates.end());
        }
        row->problems.push_back({file, RunProblem::Kind::missing, "Not in the backup"});
    }
    if (place && place != &targets_.front()) return;  // said with the first library
    for (const auto& entry : run.notInLastRun) {
        auto& row = preview.crates.emplace_back();
        row.name = join(entry.components, "/");
        row.leftOut = RestoreTexts::notInLastRun;
    }
}

std::vector<std::optional<std::pair<FileCopier::Outcome, int>>> RestoreEngine::copyFiles(
    const Run& run, const CopyPlan& plan, const std::vector<std::int64_t>& sizes,
    std::int64_t threads) {
    using Outcome = FileCopier::Outcome;
    std::vector<std::optional<std::pair<Outcome, int>>> outcomes(plan.jobs.size());
    // The copier runs the jobs that are not refused; `order` maps its indexes to the plan's.
    std::vector<FileCopier::Job> jobs;
    std::vector<std::size_t> order;
    std::size_t refused = 0;
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        if (!plan.fates.empty() && plan.fates[i] == Fate::refused) {
            outcomes[i] = std::pair{Outcome::failed, EEXIST};
            ++refused;
            continue;
        }
        jobs.push_back(plan.jobs[i]);
        order.push_back(i);
    }
    if (refused > 0)
        reporter_.update([&](Snapshot& snap) {
            snap.completedFiles += static_cast<std::int64_t>(refused);
            snap.failedFiles += static_cast<std::int64_t>(refused);
        });
    FileCopier::Options options;
    // Restoring a file onto itself (audio target = backup folder) never touches it. Files
    // written beside existing ones have free places; whatever turns up there stays.
    switch (run.existing) {
        case ExistingFiles::replace:
            options.existing = FileCopier::Existing::replace;
            break;
        case ExistingFiles::ifNewer:
            options.existing = FileCopier::Existing::ifNewer;
            break;
        case ExistingFiles::keep:
        case ExistingFiles::keepBoth:
            options.existing = FileCopier::Existing::keep;
            break;
    }
    options.granularity = run.granularity;
    options.threads = threads;
    options.entering = [&run](std::string_view folder) { run.destination->clean(folder); };
    // A file a copy replaces is moved into the undo folder first, each copy recorded.
    run.writer->prepareCopies(options, jobs.size());
    // Each copy is checked against the manifest before it takes the destination's name.
    const std::string prefix = platform::toUtf8(run.backupRoot / "");
    const auto manifestPath = [&](std::size_t index) -> std::optional<std::string> {
        const std::string_view source = jobs[index].source;
        if (!source.starts_with(prefix)) return std::nullopt;
        return std::string(source.substr(prefix.size()));
    };
    if (run.manifest) {
        options.expected = [&](std::size_t index) -> std::optional<FileCopier::Expected> {
            const auto relPath = manifestPath(index);
            if (!relPath) return std::nullopt;
            const auto entry = run.manifest->entries.find(*relPath);
            if (entry == run.manifest->entries.end()) return std::nullopt;
            return FileCopier::Expected{entry->second.size, entry->second.hash};
        };
    }
    FileCopier copier(
        options, [this] { return reporter_.isCancelled(); },
        [&](std::size_t index, Outcome outcome, int error) {
            outcomes[order[index]] = std::pair{outcome, error};  // one slot per job, read later
            run.writer->copyReported(index, jobs[index].dest(), outcome);
            const bool damaged = error == FileCopier::damagedError;
            if (damaged)
                reporter_.log(Level::warning,
                              "Damaged in the backup: " + manifestPath(index).value_or("") +
                                  " \u2014 its content differs from when it was backed up; left " +
                                  jobs[index].dest() + " as it was.");
            if (reporter_.linePerFile() && outcome != Outcome::failed)
                reporter_.log(Level::info, (outcome == Outcome::copied ? "Copied " : "Kept ") +
                                               jobs[index].dest());
            std::int64_t size = 0;
            if (outcome == Outcome::copied) {
                const std::string source(jobs[index].source);
                size = platform::fileInfo(source.c_str()).value_or(platform::FileInfo{}).size;
            }
            reporter_.updateAndMaybeEmit([&](Snapshot& snap) {
                snap.currentFile.assign(jobs[index].destName);
                ++snap.completedFiles;
                if (outcome == Outcome::skipped) {
                    ++snap.skippedFiles;
                    snap.skippedBytes += sizes[order[index]];
                }
                if (damaged)
                    ++snap.damagedFiles;
                else if (outcome == Outcome::failed)
                    ++snap.failedFiles;
                if (outcome == Outcome::copied) {
                    ++snap.copiedFiles;
                    snap.processedBytes += size;
                    reporter_.recomputeRate(snap);
                }
            });
        });
    copier.run(jobs);
    return outcomes;
}

void RestoreEngine::logFailure(const FileCopier::Job& job, int error) {
    reporter_.addProblem({job.dest(), RunProblem::Kind::failed, platform::errorText(error)});
    reporter_.log(Level::error, "Restore failed: " + std::string(job.destName) + " \u2014 " +
                                    platform::errorText(error));
}

RestoreEngine::Snapshot RestoreEngine::finish(bool cancelled, std::string summary) {
    return reporter_.finish(cancelled, [&summary](const Snapshot& snap) {
        if (snap.cancelled) return std::optional<std::string>("Restore cancelled.");
        return summary.empty() ? std::nullopt : std::optional(std::move(summary));
    });
}

}  // namespace morrowdeck
