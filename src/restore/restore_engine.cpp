// RestoreEngine: the run, its start checks, the crate phase and the file copy.
#include "restore/restore_engine.h"

#include <chrono>

#include "engine/backup_layout.h"
#include "engine/serato_error.h"
#include "library/crate_writer.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
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

std::uint32_t secondsNow() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return static_cast<std::uint32_t>(seconds);
}

}  // namespace

RestoreEngine::RestoreEngine(std::shared_ptr<MainQueue> mainQueue)
    : engineRun_(std::move(mainQueue)) {}

RestoreEngine::~RestoreEngine() = default;

void RestoreEngine::run(std::filesystem::path backupRoot, std::filesystem::path audioTarget,
                        std::filesystem::path seratoLibrary, bool overwrite, bool rebuildDatabase,
                        LogCallback onLog, ProgressCallback onProgress, Completion completion,
                        std::int64_t threadCount) {
    reporter_.setCallbacks(std::move(onLog), std::move(onProgress));
    engineRun_.start(
        [this, backupRoot = std::move(backupRoot), audioTarget = std::move(audioTarget),
         seratoLibrary = std::move(seratoLibrary), overwrite, rebuildDatabase, threadCount] {
            return execute(backupRoot, audioTarget, seratoLibrary, overwrite, rebuildDatabase,
                           threadCount);
        },
        std::move(completion));
}

RestoreEngine::Snapshot RestoreEngine::execute(const std::filesystem::path& backupRoot,
                                               const std::filesystem::path& audioTarget,
                                               const std::filesystem::path& seratoLibrary,
                                               bool overwrite, bool rebuildDatabase,
                                               std::int64_t threadCount) {
    reporter_.resetStartTime();
    Run run;
    run.backupRoot = backupRoot;
    run.audioTarget = audioTarget;
    run.overwrite = overwrite;
    run.rebuildDatabase = rebuildDatabase;
    run.restoreTime = secondsNow();
    run.seratoRoot =
        SeratoLibrary::resolveLibrary(seratoLibrary).value_or(seratoLibrary / SeratoFolder::name);

    for (const auto& folder : {run.crateFolder(), run.smartCrateFolder(), audioTarget}) {
        if (const int error = platform::createDirectories(folder); error != 0) {
            throw PlatformError("The folder " + folder.native() +
                                " could not be created: " + platform::errorText(error) + ".");
        }
    }
    if (!platform::isWritableDirectory(audioTarget) ||
        !platform::isWritableDirectory(run.seratoRoot)) {
        throw SeratoError::destinationUnwritable(run.seratoRoot);
    }
    run.volumePrefix = SeratoLibrary::volumeMountPrefix(audioTarget);

    reporter_.setPhase("Scanning backup\u2026");
    reporter_.log(Level::info, "Restoring from " + backupRoot.native());
    std::vector<CrateEntry> entries;
    std::vector<std::filesystem::path> scrates;
    scan(backupRoot, backupRoot, entries, scrates);

    if (const auto snapshot = platform::readFile(backupRoot / BackupLayout::metadataFolder /
                                                 BackupLayout::snapshotFileName)) {
        run.snapshotTable = SeratoDatabase::parseSnapshot(*snapshot);
    }
    if (!run.snapshotTable.empty()) {
        reporter_.log(Level::info, "Found library snapshot \u2014 restoring full metadata for " +
                                       std::to_string(run.snapshotTable.size()) + " track(s).");
    }
    std::size_t audioFiles = 0;
    for (const auto& entry : entries)
        audioFiles += entry.files.size();
    reporter_.update([&](Snapshot& snap) {
        snap.totalFiles = static_cast<std::int64_t>(audioFiles + entries.size() + scrates.size());
    });

    if (entries.empty() && scrates.empty()) {
        reporter_.log(Level::warning, "No crates or smart crates found in that folder.");
        const Snapshot done = reporter_.update([](Snapshot& snap) {
            snap.finished = true;
            snap.cancelled = false;
            snap.currentFile.clear();
            snap.phase = "Done";
            return snap;
        });
        reporter_.deliver(done);
        return done;
    }

    reporter_.setPhase("Restoring crates\u2026");
    if (!restoreCrates(run, entries, threadCount)) return finish(true);

    if (!scrates.empty()) {
        reporter_.setPhase("Restoring smart crates\u2026");
        if (!restoreSmartCrates(run, scrates)) return finish(true);
    }

    writeCrateOrder(run, entries, scrates);
    if (rebuildDatabase && !run.recordTable.empty()) writeDatabase(run);
    const std::size_t stagedRules = stageRatingsAndRules(run);
    writeNotes(run);

    const std::size_t records = rebuildDatabase ? run.recordTable.size() : 0;
    const bool needsApply = stagedRules > 0 || !run.pathMap.empty();
    reporter_.log(Level::success,
                  "Restored " + std::to_string(entries.size()) + " crate(s), " +
                      std::to_string(scrates.size()) + " smart crate(s), " +
                      std::to_string(records) + " track record(s). " +
                      std::string(needsApply ? RestoreTexts::hintApply : RestoreTexts::hintReady));
    return finish(reporter_.isCancelled());
}

// Copies every crate's audio on the pool, then writes the crate files, records and failure
// lines crate by crate in the backup's order, whatever order the copies finished in. False
// when cancelled: the crates before the first one with a copy that cancellation dropped are
// complete (their crate files written), that one and the rest are left out.
bool RestoreEngine::restoreCrates(Run& run, const std::vector<CrateEntry>& entries,
                                  std::int64_t threads) {
    if (reporter_.isCancelled()) return false;
    std::vector<std::string> folders;
    folders.reserve(entries.size());
    std::vector<FileCopier::Job> jobs;
    for (const auto& entry : entries) {
        folders.push_back((run.audioTarget / join(entry.components, "/")).native());
        platform::createDirectories(folders.back());  // a failure shows as failed copies
        for (const auto& file : entry.files) {
            const std::string_view source = file.native();
            jobs.push_back({source, folders.back(), source.substr(source.rfind('/') + 1)});
        }
    }
    const auto outcomes = copyFiles(jobs, run.overwrite, threads);

    std::size_t index = 0;
    for (const auto& entry : entries) {
        const std::size_t end = index + entry.files.size();
        for (std::size_t i = index; i < end; ++i)
            if (!outcomes[i]) return false;  // dropped by cancellation

        const std::string relFolder = join(entry.components, "/");
        std::vector<std::string> paths;
        for (; index < end; ++index) {
            const auto& job = jobs[index];
            if (outcomes[index]->first == FileCopier::Outcome::failed)
                logFailure(job, outcomes[index]->second);
            const std::filesystem::path destination = job.dest();
            std::string key = CrateWriter::volumeRelativePath(destination, run.volumePrefix);
            const std::string relPath = relFolder + "/" + std::string(job.destName);
            run.pathMap[relPath] = key;
            if (run.rebuildDatabase) recordStep(run, destination, key, relPath);
            paths.push_back(std::move(key));
        }

        const std::filesystem::path crateFile =
            run.crateFolder() / SeratoFolder::crateFileName(entry.components, false);
        if (run.overwrite || !platform::itemExists(crateFile)) {
            platform::writeFileAtomically(crateFile, CrateWriter::crateData(paths));
        }
        reporter_.updateAndMaybeEmit([](Snapshot& snap) {
            ++snap.completedFiles;
            ++snap.copiedFiles;
        });
    }
    return !reporter_.isCancelled();
}

// Smart-crate files, one at a time and logged at once. False when cancellation dropped one.
bool RestoreEngine::restoreSmartCrates(const Run& run,
                                       const std::vector<std::filesystem::path>& scrates) {
    const std::string folder = run.smartCrateFolder().native();
    std::vector<FileCopier::Job> jobs;
    for (const auto& file : scrates) {
        const std::string_view source = file.native();
        jobs.push_back({source, folder, source.substr(source.rfind('/') + 1)});
    }
    const auto outcomes = copyFiles(jobs, run.overwrite, 1);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (!outcomes[i]) return false;
        if (outcomes[i]->first == FileCopier::Outcome::failed)
            logFailure(jobs[i], outcomes[i]->second);
    }
    return true;
}

std::vector<std::optional<std::pair<FileCopier::Outcome, int>>> RestoreEngine::copyFiles(
    const std::vector<FileCopier::Job>& jobs, bool overwrite, std::int64_t threads) {
    using Outcome = FileCopier::Outcome;
    std::vector<std::optional<std::pair<Outcome, int>>> outcomes(jobs.size());
    FileCopier::Options options;
    // Restoring a file onto itself (audio target = backup folder) never touches it.
    options.existing = overwrite ? FileCopier::Existing::replace : FileCopier::Existing::keep;
    options.threads = threads;
    FileCopier copier(
        options, [this] { return reporter_.isCancelled(); },
        [&](std::size_t index, Outcome outcome, int error) {
            outcomes[index] = std::pair{outcome, error};  // one slot per job, read after the pool
            std::int64_t size = 0;
            if (outcome == Outcome::copied) {
                const std::string source(jobs[index].source);
                size = platform::fileInfo(source.c_str()).value_or(platform::FileInfo{}).size;
            }
            reporter_.updateAndMaybeEmit([&](Snapshot& snap) {
                snap.currentFile.assign(jobs[index].destName);
                ++snap.completedFiles;
                if (outcome == Outcome::skipped) ++snap.skippedFiles;
                if (outcome == Outcome::failed) ++snap.failedFiles;
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
    reporter_.log(Level::error, "Restore failed: " + std::string(job.destName) + " \u2014 " +
                                    platform::errorText(error));
}

RestoreEngine::Snapshot RestoreEngine::finish(bool cancelled) {
    return reporter_.finish(
        cancelled, [](const Snapshot& snap) -> std::optional<std::pair<Level, std::string>> {
            if (snap.cancelled) return std::pair{Level::warning, std::string("Restore cancelled.")};
            return std::nullopt;
        });
}

}  // namespace morrowdeck
