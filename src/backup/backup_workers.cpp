// BackupEngine: the copy phases through the shared file copier, and the backup's counters.
#include "backup/backup_engine.h"
#include "backup/backup_plan.h"
#include "engine/replaced_runs.h"
#include "platform/path_text.h"

namespace morrowdeck {

void BackupEngine::process(const std::vector<Job>& jobs, const BackupOptions& options,
                           std::chrono::nanoseconds granularity, const Plan& work) {
    FileCopier::Options copy;
    copy.existing =
        options.verifyExisting ? FileCopier::Existing::update : FileCopier::Existing::keep;
    copy.granularity = granularity;
    copy.threads = options.threadCount;
    copy.isSource = [&work](std::uint64_t device, std::uint64_t inode) {
        return work.sourceIds.contains({device, inode});
    };
    copy.entering = [&work](std::string_view folder) { work.destination->clean(folder); };
    if (!work.replacedRun.empty()) {
        const std::string storePrefix = options.storeFolderName + "/";
        copy.keepAs = [&work, storePrefix](const std::string& dest, std::uint64_t links) {
            if (!dest.starts_with(work.rootPrefix)) return std::string();
            const std::string_view rel = std::string_view(dest).substr(work.rootPrefix.size());
            // A store file that crate folders link to is replaced in place: those links keep
            // its data, and each is kept when its own link job re-links it. Moving the store
            // file too would keep the same data twice, under a path no restore reads.
            if (links > 1 && rel.starts_with(storePrefix)) return std::string();
            return work.replacedRun + "/" + std::string(rel);
        };
    }
    // Each slot is written by the one worker that runs its job.
    std::vector<ContentHash> hashes(jobs.size());
    std::vector<char> reported(jobs.size(), 0);
    copy.hashed = [&hashes](std::size_t index, const ContentHash& hash) { hashes[index] = hash; };
    ManifestRecorder& manifest = *work.manifest;
    FileCopier copier(
        copy, [this] { return reporter_.isCancelled(); },
        [&](std::size_t index, Outcome outcome, int error) {
            const Job& job = jobs[index];
            reported[index] = 1;
            if (outcome == Outcome::copied) {
                manifest.copied(job, hashes[index]);
            } else if (outcome == Outcome::failed) {
                manifest.unchanged(job);
            } else if (job.kind == Job::Kind::link) {
                manifest.linked(job);
            } else {
                manifest.kept(job);
            }
            record(job, outcome, error);
        },
        [&](std::size_t index) {
            reporter_.update(
                [&](Snapshot& snap) { snap.currentFile.assign(jobs[index].destName); });
        });
    copier.run(jobs);
    for (std::size_t index = 0; index < jobs.size(); ++index)
        if (!reported[index]) manifest.unchanged(jobs[index]);  // dropped by cancellation
}

void BackupEngine::finishReplaced(const std::filesystem::path& root, const BackupOptions& options,
                                  const Plan& work) {
    if (work.replacedRun.empty()) return;
    const std::string runName = platform::toUtf8(platform::toPath(work.replacedRun).filename());
    for (const auto& run : ReplacedRuns::list(root)) {
        if (run.name != runName || run.files.empty()) continue;
        reporter_.log(LogEntry::Level::info,
                      "Kept " + std::to_string(run.files.size()) + " replaced file(s) in " +
                          std::string(BackupLayout::metadataFolder) + "/" +
                          std::string(BackupLayout::replacedFolder) + "/" + runName + ".");
    }
    // Only a run that did all it had to may drop older versions: after a failed or cancelled
    // run they may be the only good copies.
    bool failed = reporter_.isCancelled();
    reporter_.update([&](Snapshot& snap) { failed = failed || snap.failedFiles > 0; });
    if (!failed) ReplacedRuns::prune(root, static_cast<std::size_t>(options.keepReplaced), runName);
}

void BackupEngine::record(const Job& job, Outcome outcome, int error) {
    if (outcome == Outcome::failed) {
        const std::string reason = error == FileCopier::replacesSourceError
                                       ? job.dest() + " is a source of this backup"
                                       : platform::errorText(error);
        reporter_.addProblem({job.dest(), RunProblem::Kind::failed, reason});
        reporter_.log(LogEntry::Level::error,
                      (job.kind == Job::Kind::link ? "Link failed: " : "Copy failed: ") +
                          std::string(job.destName) + " \u2014 " + reason);
    } else if (reporter_.linePerFile()) {
        const char* done = outcome == Outcome::copied   ? "Copied "
                           : outcome == Outcome::linked ? "Linked "
                                                        : "Up to date ";
        reporter_.log(LogEntry::Level::info, done + job.dest());
    }
    reporter_.updateAndMaybeEmit([&](Snapshot& snap) {
        snap.currentFile.assign(job.destName);
        ++snap.completedFiles;
        switch (outcome) {
            case Outcome::copied:
                ++snap.copiedFiles;
                snap.processedBytes += job.bytes;
                break;
            case Outcome::skipped:
                ++snap.skippedFiles;
                snap.skippedBytes += job.bytes;
                break;
            case Outcome::linked:
                ++snap.linkedFiles;
                break;
            case Outcome::failed:
                ++snap.failedFiles;
                break;
        }
        reporter_.recomputeRate(snap);
    });
}

}  // namespace morrowdeck
