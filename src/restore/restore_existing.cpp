// RestoreEngine: what each copy does with a file already at its place in the audio target,
// and the "(restored)" names of copies written beside such files.
#include <optional>
#include <unordered_set>

#include "engine/content_hash.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"

namespace morrowdeck {

namespace {

// How many "(restored)" names are tried beside one file before the copy is refused.
constexpr int maxRestoredCopies = 99;

}  // namespace

void RestoreEngine::placeBesideExisting(const Run& run, CopyPlan& plan,
                                        std::chrono::nanoseconds granularity) {
    plan.fates.assign(plan.jobs.size(), Fate::fresh);
    const std::string prefix = platform::toUtf8(run.backupRoot / "");
    // The content of a backup's file: the manifest's hash when it lists the file, else read.
    const auto contentOf = [&](const FileCopier::Job& job) -> std::optional<ContentHash> {
        const std::string_view source = job.source;
        if (run.manifest && source.starts_with(prefix)) {
            const auto entry =
                run.manifest->entries.find(std::string(source.substr(prefix.size())));
            if (entry != run.manifest->entries.end()) return entry->second.hash;
        }
        ContentHash hash;
        if (hashFile(platform::toPath(source), hash) != 0) return std::nullopt;
        return hash;
    };
    // Whether the file `there` at `path` already is the job's file: the backup's file itself,
    // or a file of its size and content (a copy an earlier run wrote).
    const auto holdsJob = [&](const std::string& path, const FileCopier::Job& job,
                              const std::optional<platform::FileInfo>& source,
                              const platform::FileInfo& there) {
        if (!source) return false;
        if (source->device == there.device && source->inode == there.inode) return true;
        if (source->size != there.size) return false;
        const auto wanted = contentOf(job);
        ContentHash held;
        return wanted && hashFile(platform::toPath(path), held) == 0 && held == *wanted;
    };
    // The jobs' own places are taken: no copy is renamed onto another job's file.
    std::unordered_set<std::string> taken;
    for (const auto& job : plan.jobs)
        taken.insert(job.dest());

    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        FileCopier::Job& job = plan.jobs[i];
        Fate& fate = plan.fates[i];
        const std::string dest = job.dest();
        if (!platform::itemExists(platform::toPath(dest))) continue;
        const auto source = platform::fileInfo(std::string(job.source));
        const auto there = platform::fileInfo(dest);  // absent for a folder in the way
        if (there && source && source->device == there->device && source->inode == there->inode) {
            fate = Fate::keep;
            continue;
        }
        switch (run.existing) {
            case ExistingFiles::keep:
                fate = there ? Fate::keep : Fate::fresh;
                continue;
            case ExistingFiles::replace:
                fate = there ? Fate::replace : Fate::fresh;
                continue;
            case ExistingFiles::ifNewer:
                fate = !there ? Fate::fresh
                       : source && FileCopier::isNewer(source->mtime, there->mtime, granularity)
                           ? Fate::replace
                           : Fate::keep;
                continue;
            case ExistingFiles::keepBoth:
                break;
        }
        // A re-run finds its own earlier copies: the same content is not written twice.
        if (there && holdsJob(dest, job, source, *there)) {
            fate = Fate::keep;
            continue;
        }
        fate = Fate::refused;
        for (int number = 1; number <= maxRestoredCopies; ++number) {
            std::string name = restoredCopyName(job.destName, number);
            const std::string path = std::string(job.destFolder) + "/" + name;
            if (taken.contains(path)) continue;
            const bool exists = platform::itemExists(platform::toPath(path));
            if (exists) {
                const auto held = platform::fileInfo(path);
                if (!held || !holdsJob(path, job, source, *held)) continue;
            }
            taken.insert(path);
            job.destName = plan.names.emplace_back(std::move(name));
            fate = exists ? Fate::keep : Fate::aside;
            break;
        }
    }
}

}  // namespace morrowdeck
