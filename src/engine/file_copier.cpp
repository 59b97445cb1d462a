#include "engine/file_copier.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/folder_handle.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

using Job = FileCopier::Job;
using Outcome = FileCopier::Outcome;

// Keeps two jobs with the same destination from running at the same time: a worker claims
// the destination before touching it and waits while another worker holds it. At most one
// claim per worker is held, so a short list serves without allocating per job.
class DestinationClaims {
  public:
    using Key = std::pair<std::string_view, std::string_view>;

    void claim(const Key& key) {
        std::unique_lock lock(mutex_);
        released_.wait(lock,
                       [&] { return std::find(busy_.begin(), busy_.end(), key) == busy_.end(); });
        busy_.push_back(key);
    }
    void release(const Key& key) {
        {
            std::lock_guard lock(mutex_);
            busy_.erase(std::find(busy_.begin(), busy_.end(), key));
        }
        released_.notify_all();
    }

    // A claim released however the job ends, also by an exception: no other job is left
    // waiting for its destination.
    class Held {
      public:
        Held(DestinationClaims& claims, const Key& key) : claims_(claims), key_(key) {
            claims_.claim(key_);
        }
        ~Held() { claims_.release(key_); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

      private:
        DestinationClaims& claims_;
        Key key_;
    };

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::vector<Key> busy_;
};

// Handles of the destination folders, each opened once per run (after the `entering` hook) and
// shared by the workers: destinations are then queried by name instead of by a walk of their
// full path.
class FolderHandles {
  public:
    explicit FolderHandles(const std::function<void(std::string_view)>& entering)
        : entering_(entering) {}
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;

    // Not open when the folder cannot be opened; the copy into it then reports the reason.
    // The handle stays where it is until the run ends.
    const platform::FolderHandle& get(std::string_view folder) {
        std::lock_guard lock(mutex_);
        auto [found, fresh] = handles_.try_emplace(folder);
        if (fresh) {
            if (entering_) entering_(folder);
            (void)found->second.open(platform::toPath(folder));
        }
        return found->second;
    }

  private:
    const std::function<void(std::string_view)>& entering_;
    std::mutex mutex_;
    std::unordered_map<std::string_view, platform::FolderHandle> handles_;
};

}  // namespace

std::string Job::dest() const {
    std::string path;
    path.reserve(destFolder.size() + 1 + destName.size());
    return path.append(destFolder).append("/").append(destName);
}

bool FileCopier::isUpToDate(const platform::FileInfo& existing, std::int64_t bytes,
                            platform::FileTime mtime, std::chrono::nanoseconds granularity) {
    const auto apart = existing.mtime > mtime ? existing.mtime - mtime : mtime - existing.mtime;
    return existing.size == bytes && apart < std::max(granularity, std::chrono::nanoseconds(1));
}

bool FileCopier::isNewer(platform::FileTime source, platform::FileTime existing,
                         std::chrono::nanoseconds granularity) {
    return source > existing &&
           source - existing >= std::max(granularity, std::chrono::nanoseconds(1));
}

namespace {

using platform::EntryKind;
using platform::EntryStatus;
using platform::SymbolicLinks;

// What a destination name holds. `regular` includes a symbolic link to a regular file.
enum class There { nothing, regular, other };

// link(2)'s answers where the destination's file system (or the pair of them) has no hard
// links, or no more of them: a copy can still stand in.
bool linksImpossible(int error) {
    return error == EXDEV || error == EPERM || error == EMLINK || error == EOPNOTSUPP ||
           error == ENOTSUP || error == ENOSYS;
}

}  // namespace

// The state of one pool thread: the handle of the destination folder it last looked in.
class FileCopier::Worker {
  public:
    Worker(const FileCopier& copier, FolderHandles& folders) : copier_(copier), folders_(folders) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    std::pair<Outcome, int> perform(std::size_t index, const Job& job) {
        EntryStatus found;
        const There there = examine(job, found);
        if (job.kind == Job::Kind::link) return link(index, job, there, found);

        const Existing existing = copier_.options_.existing;
        if (there == There::nothing) return finish(index, job, false);
        if (there == There::other) {
            // A folder or another non-file in the way is replaced only when asked to replace
            // anything; otherwise the copy fails on it and says so.
            return finish(index, job, existing == Existing::replace);
        }
        if (isOtherSource(job, found)) return {Outcome::failed, replacesSourceError};
        if (existing == Existing::keep) return {Outcome::skipped, 0};
        if (existing == Existing::ifNewer) {
            // Without the source's date nothing says the backup's file is the better one.
            EntryStatus source;
            if (const int error = platform::itemStatus(platform::toPath(job.source),
                                                       SymbolicLinks::follow, source))
                return {Outcome::failed, error};
            if (!isNewer(source.mtime, found.mtime, copier_.options_.granularity))
                return {Outcome::skipped, 0};
        }
        if (existing == Existing::update && isUpToDate({found.size, found.mtime}, job.bytes,
                                                       job.mtime, copier_.options_.granularity)) {
            return {Outcome::skipped, 0};
        }
        // A destination that is the source itself (a backup inside the music folder, a restore
        // onto the backup) must never be replaced by a copy of itself.
        if (isTheSource(job, found)) return {Outcome::skipped, 0};
        const std::string dest = job.dest();
        if (const auto expected = expectedOf(index); expected && found.size == expected->bytes) {
            // Content already in place is not rewritten; the backup's copy is still checked.
            ContentHash held;
            if (hashFile(dest, held) == 0 && held == expected->hash) {
                ContentHash backedUp;
                const int error = hashFile(platform::toPath(job.source), backedUp);
                if (error != 0) return {Outcome::failed, error};
                if (backedUp != expected->hash) return {Outcome::failed, damagedError};
                return {Outcome::skipped, 0};
            }
        }
        // The old copy is replaced by the rename of a new one.
        const int error = copy(index, job, dest, true, keptPath(dest, found));
        return {error == 0 ? Outcome::copied : Outcome::failed, error};
    }

  private:
    // A link job puts the store file (job.source) at the destination: a new link, an existing
    // other file replaced by a link, or a copy where links are impossible.
    std::pair<Outcome, int> link(std::size_t index, const Job& job, There there,
                                 const EntryStatus& found) {
        const std::filesystem::path source = platform::toPath(job.source);
        const std::string dest = job.dest();
        if (there == There::other)
            return {Outcome::failed, found.kind == EntryKind::folder ? EISDIR : EEXIST};
        if (there == There::nothing) {
            const int error = platform::hardLink(source, platform::toPath(dest));
            if (error == 0) return {Outcome::linked, 0};
            if (!linksImpossible(error)) return {Outcome::failed, error};
            return linkedOrFailed(copy(index, job, dest, false));
        }

        EntryStatus store;
        if (const int error = platform::itemStatus(source, SymbolicLinks::follow, store))
            return {Outcome::failed, error};
        if (platform::sameItem(store, found)) return {Outcome::skipped, 0};
        if (isOtherSource(job, found)) return {Outcome::failed, replacesSourceError};
        // Another file: a link to an older store file, or a copy from a run without links.
        const std::string keepAs = keptPath(dest, found);
        const int error =
            platform::replaceWithLink(source, platform::toPath(dest), platform::toPath(keepAs));
        if (error == 0) return {Outcome::linked, 0};
        if (!linksImpossible(error)) return {Outcome::failed, error};
        if (isUpToDate({found.size, found.mtime}, store.size, store.mtime,
                       copier_.options_.granularity)) {
            return {Outcome::skipped, 0};
        }
        return linkedOrFailed(copy(index, job, dest, true, keepAs));
    }

    // Where the regular file `found` at dest goes when it is replaced ("" = nowhere).
    std::string keptPath(const std::string& dest, const EntryStatus& found) const {
        const auto& keepAs = copier_.options_.keepAs;
        return keepAs ? keepAs(dest, found.links) : std::string();
    }

    static std::pair<Outcome, int> linkedOrFailed(int error) {
        return {error == 0 ? Outcome::linked : Outcome::failed, error};
    }

    // True when the destination is one of the run's sources other than the job's own: it must
    // not be replaced, whatever its size or date.
    bool isOtherSource(const Job& job, const EntryStatus& found) const {
        const auto& isSource = copier_.options_.isSource;
        if (!isSource || !isSource(found.device, found.inode)) return false;
        return !isTheSource(job, found);
    }

    // True when the destination `found` is the job's own source file.
    static bool isTheSource(const Job& job, const EntryStatus& found) {
        EntryStatus source;
        return platform::itemStatus(platform::toPath(job.source), SymbolicLinks::follow, source) ==
                   0 &&
               platform::sameItem(source, found);
    }

    std::pair<Outcome, int> finish(std::size_t index, const Job& job, bool replace) {
        const int error = copy(index, job, job.dest(), replace);
        return {error == 0 ? Outcome::copied : Outcome::failed, error};
    }

    int copy(std::size_t index, const Job& job, const std::string& dest, bool replace,
             const std::string& keepAs = {}) {
        if (copier_.starting_) copier_.starting_(index);
        const auto& hashed = copier_.options_.hashed;
        const auto expected = expectedOf(index);
        if (!hashed && !expected)
            return platform::copyFile(platform::toPath(job.source), platform::toPath(dest), replace,
                                      platform::toPath(keepAs));
        ContentHasher hasher;
        const platform::DataSink sink = [&hasher](std::span<const std::uint8_t> data) {
            hasher.update(data);
        };
        const platform::CopyCheck check = [&] {
            return hasher.digest() == expected->hash ? 0 : damagedError;
        };
        const int error =
            platform::copyFile(platform::toPath(job.source), platform::toPath(dest), replace,
                               platform::toPath(keepAs), &sink, expected ? &check : nullptr);
        if (error == 0 && hashed) hashed(index, hasher.digest());
        return error;
    }

    std::optional<Expected> expectedOf(std::size_t index) const {
        const auto& expected = copier_.options_.expected;
        return expected ? expected(index) : std::nullopt;
    }

    // What is at the destination; `out` gets its status, through a symbolic link when that
    // leads somewhere.
    There examine(const Job& job, EntryStatus& out) {
        if (!statusOfDest(job, out, SymbolicLinks::noFollow)) return There::nothing;
        if (out.kind == EntryKind::regular) return There::regular;
        EntryStatus target;
        if (out.kind == EntryKind::symbolicLink &&
            statusOfDest(job, target, SymbolicLinks::follow)) {
            out = target;
            if (out.kind == EntryKind::regular) return There::regular;
        }
        return There::other;
    }

    // The status of the destination, asked of its folder's handle; false when nothing is
    // there (or the folder cannot be opened, in which case the copy reports the reason).
    bool statusOfDest(const Job& job, EntryStatus& out, SymbolicLinks links) {
        if (job.destFolder != folderName_ || folder_ == nullptr || !folder_->isOpen()) {
            folderName_ = job.destFolder;
            folder_ = &folders_.get(folderName_);
        }
        if (!folder_->isOpen()) return false;
        name_.assign(job.destName);
        return folder_->status(name_, links, out) == 0;
    }

    const FileCopier& copier_;
    FolderHandles& folders_;
    std::string_view folderName_;
    std::string name_;
    const platform::FolderHandle* folder_ = nullptr;
};

FileCopier::FileCopier(Options options, std::function<bool()> cancelled, Report report,
                       Starting starting)
    : options_(std::move(options)),
      cancelled_(std::move(cancelled)),
      report_(std::move(report)),
      starting_(std::move(starting)) {}

void FileCopier::run(const std::vector<Job>& jobs) {
    FolderHandles folders(options_.entering);
    std::vector<std::unique_ptr<Worker>> workers;
    for (std::size_t i = 0; i < workerCount(jobs.size(), options_.threads); ++i)
        workers.push_back(std::make_unique<Worker>(*this, folders));
    DestinationClaims claims;
    runWorkerPool(
        jobs.size(), options_.threads, cancelled_,
        [&](std::size_t index, std::size_t worker) {
            const Job& job = jobs[index];
            const DestinationClaims::Held claim(claims, {job.destFolder, job.destName});
            // Cancellation may have arrived while waiting for the claim.
            if (cancelled_ && cancelled_()) return;
            const auto [outcome, error] = workers[worker]->perform(index, job);
            // Reported before the claim is released, so a job's report never trails the
            // start of the next job on its destination.
            report_(index, outcome, error);
        },
        options_.spawn);
}

}  // namespace morrowdeck
