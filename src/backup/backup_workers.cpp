// BackupEngine: the copy workers.
#include <condition_variable>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "backup/backup_engine.h"

namespace morrowdeck {

namespace {

// Keeps two jobs with the same destination from running at the same time: a worker claims
// the destination before touching it and waits while another worker holds it.
class DestinationClaims {
  public:
    void claim(const std::string& dest) {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [&] { return !busy_.contains(dest); });
        busy_.insert(dest);
    }
    void release(const std::string& dest) {
        {
            std::lock_guard lock(mutex_);
            busy_.erase(dest);
        }
        released_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::set<std::string> busy_;
};

}  // namespace

std::optional<platform::FileInfo> BackupEngine::fileInfo(const std::filesystem::path& file) {
    return platform::fileInfo(file);
}

bool BackupEngine::isUpToDate(const platform::FileInfo& existing, const Job& job,
                              std::chrono::nanoseconds granularity) {
    return existing.size == job.bytes && existing.mtime + granularity > job.mtime;
}

void BackupEngine::process(const std::vector<Job>& jobs, const BackupOptions& options,
                           std::chrono::nanoseconds granularity) {
    if (jobs.empty()) return;
    const std::size_t width =
        static_cast<std::size_t>(std::max<std::int64_t>(options.threadCount, 1));
    const std::size_t workerCount = std::min(width, jobs.size());

    // Workers take jobs in list order; a job not started when cancellation arrives is dropped.
    std::mutex nextMutex;
    std::size_t next = 0;
    DestinationClaims claims;
    const auto work = [&] {
        for (;;) {
            std::size_t index;
            {
                std::lock_guard lock(nextMutex);
                if (next == jobs.size() || reporter_.isCancelled()) return;
                index = next++;
            }
            const Job& job = jobs[index];
            const std::string dest = job.dest();
            claims.claim(dest);
            if (!reporter_.isCancelled()) perform(job, dest, options, granularity);
            claims.release(dest);
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(workerCount);
    try {
        for (std::size_t i = 0; i < workerCount; ++i)
            workers.emplace_back(work);
    } catch (const std::system_error&) {
        // Out of threads: the workers already started share the list; with none, this
        // thread works through it alone.
        if (workers.empty()) work();
    }
    for (auto& worker : workers)
        worker.join();
}

void BackupEngine::perform(const Job& job, const std::string& dest, const BackupOptions& options,
                           std::chrono::nanoseconds granularity) {
    const std::string name(job.destName);
    reporter_.update([&](Snapshot& snap) { snap.currentFile = name; });
    const std::filesystem::path source(job.source);

    if (job.kind == Job::Kind::link) {
        if (platform::itemExists(dest) || platform::hardLink(source, dest) == 0) {
            return record(job, Outcome::linked, {});
        }
        // No hard links here (FAT, exFAT, another file system): a real copy stands in.
        const int error = platform::copyFile(source, dest, false);
        if (error == 0) return record(job, Outcome::linked, {});
        return record(job, Outcome::failed,
                      "Link failed: " + name + " \u2014 " + platform::errorText(error));
    }

    bool replace = false;
    if (const auto existing = fileInfo(dest)) {
        if (!options.verifyExisting || isUpToDate(*existing, job, granularity)) {
            return record(job, Outcome::skipped, {});
        }
        // A destination that is the source itself (the backup inside the music folder)
        // must never be replaced by a copy of itself.
        const auto original = fileInfo(source);
        if (original && original->device == existing->device &&
            original->inode == existing->inode) {
            return record(job, Outcome::skipped, {});
        }
        replace = true;  // the stale copy is replaced by the rename of a complete new one
    }
    const int error = platform::copyFile(source, dest, replace);
    if (error == 0) return record(job, Outcome::copied, {});
    record(job, Outcome::failed, "Copy failed: " + name + " \u2014 " + platform::errorText(error));
}

void BackupEngine::record(const Job& job, Outcome outcome, const std::string& failure) {
    if (outcome == Outcome::failed) {
        reporter_.update([](Snapshot& snap) { ++snap.failedFiles; });
        reporter_.log(LogEntry::Level::error, failure);
    }
    reporter_.update([&](Snapshot& snap) { complete(snap, job, outcome); });
    reporter_.maybeEmit();
}

void BackupEngine::complete(Snapshot& snap, const Job& job, Outcome outcome) {
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
            break;
    }
    reporter_.recomputeRate(snap);
}

}  // namespace morrowdeck
