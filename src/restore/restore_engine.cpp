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
                        LogCallback onLog, ProgressCallback onProgress, Completion completion) {
    reporter_.setCallbacks(std::move(onLog), std::move(onProgress));
    engineRun_.start(
        [this, backupRoot = std::move(backupRoot), audioTarget = std::move(audioTarget),
         seratoLibrary = std::move(seratoLibrary), overwrite, rebuildDatabase] {
            return execute(backupRoot, audioTarget, seratoLibrary, overwrite, rebuildDatabase);
        },
        std::move(completion));
}

RestoreEngine::Snapshot RestoreEngine::execute(const std::filesystem::path& backupRoot,
                                               const std::filesystem::path& audioTarget,
                                               const std::filesystem::path& seratoLibrary,
                                               bool overwrite, bool rebuildDatabase) {
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
    if (!restoreCrates(run, entries)) return finish(true);

    if (!scrates.empty()) {
        reporter_.setPhase("Restoring smart crates\u2026");
        for (const auto& file : scrates) {
            if (reporter_.isCancelled()) return finish(true);
            reporter_.update([&](Snapshot& snap) { snap.currentFile = file.filename().native(); });
            copyFile(file, run.smartCrateFolder() / file.filename(), overwrite);
            reporter_.maybeEmit();
        }
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

// Copies each crate's audio and writes its crate file. False when cancelled.
bool RestoreEngine::restoreCrates(Run& run, const std::vector<CrateEntry>& entries) {
    for (const auto& entry : entries) {
        if (reporter_.isCancelled()) return false;
        const std::filesystem::path folder = run.audioTarget / join(entry.components, "/");
        platform::createDirectories(folder);  // a failure shows as failed copies

        std::vector<std::string> paths;
        for (const auto& file : entry.files) {
            if (reporter_.isCancelled()) return false;
            const std::string name = file.filename().native();
            reporter_.update([&](Snapshot& snap) { snap.currentFile = name; });
            const std::filesystem::path destination = folder / name;
            copyFile(file, destination, run.overwrite);

            std::string key = CrateWriter::volumeRelativePath(destination, run.volumePrefix);
            const std::string relPath = join(entry.components, "/") + "/" + name;
            run.pathMap[relPath] = key;
            if (run.rebuildDatabase) recordStep(run, destination, key, relPath);
            paths.push_back(std::move(key));
        }

        const std::filesystem::path crateFile =
            run.crateFolder() / SeratoFolder::crateFileName(entry.components, false);
        if (run.overwrite || !platform::itemExists(crateFile)) {
            platform::writeFileAtomically(crateFile, CrateWriter::crateData(paths));
        }
        reporter_.update([](Snapshot& snap) {
            ++snap.completedFiles;
            ++snap.copiedFiles;
        });
        reporter_.maybeEmit();
    }
    return true;
}

void RestoreEngine::copyFile(const std::filesystem::path& source,
                             const std::filesystem::path& destination, bool overwrite) {
    int error = 0;
    if (platform::itemExists(destination)) {
        const auto from = platform::fileInfo(source);
        const auto to = platform::fileInfo(destination);
        // Restoring a file onto itself (audio target = backup folder) must not touch it.
        const bool sameFile = from && to && from->device == to->device && from->inode == to->inode;
        if (!overwrite || sameFile) {
            reporter_.update([](Snapshot& snap) {
                ++snap.skippedFiles;
                ++snap.completedFiles;
            });
            return;
        }
        error = platform::copyFile(source, destination, true);  // replaced only by a complete copy
    } else {
        error = platform::copyFile(source, destination, false);
    }

    if (error == 0) {
        const std::int64_t size = platform::fileInfo(source).value_or(platform::FileInfo{}).size;
        reporter_.update([&](Snapshot& snap) {
            ++snap.completedFiles;
            ++snap.copiedFiles;
            snap.processedBytes += size;
            reporter_.recomputeRate(snap);
        });
        return;
    }
    reporter_.update([](Snapshot& snap) {
        ++snap.failedFiles;
        ++snap.completedFiles;
    });
    reporter_.log(Level::error, "Restore failed: " + destination.filename().native() + " \u2014 " +
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
