#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/content_hash.h"
#include "engine/worker_pool.h"
#include "platform/file_operations.h"

namespace morrowdeck {

// Copies a list of files into their destination folders: the one copy policy of the backup
// and the restore. A destination already holding a regular file is kept, kept when up to
// date, or replaced (Existing); a destination that is the source itself is never replaced,
// nor one that is another of the run's sources (Options::isSource); copies are written under a
// temporary name and renamed into place; two jobs with the same destination never run at the
// same time; jobs run on a bounded worker pool in list order and a job not started when
// cancellation arrives is dropped without a report.
//
// A link job makes the destination a hard link to its source (a store file) and ignores
// Existing: a destination that already is that file is skipped; another regular file there is
// replaced atomically by the link; a folder or other non-file there fails (EISDIR, EEXIST)
// and stays. Where links are impossible a copy stands in, made only when the destination is
// missing or not up to date with the store file.
//
// Threads: run() blocks until the pool is done. The callbacks run on the worker threads, one
// call per job; the engine behind them owns its counters and texts and must lock them.
class FileCopier {
  public:
    // One file to place. The strings the views point into must outlive run().
    struct Job {
        enum class Kind { copy, link };
        std::string_view source;  // for a link: the file to link to
        std::string_view destFolder;
        std::string_view destName;
        Kind kind = Kind::copy;
        std::int64_t bytes = 0;  // the source's size and date, for the up-to-date rule
        platform::FileTime mtime{};

        std::string dest() const;
    };

    enum class Existing {
        keep,     // an existing copy is left alone
        update,   // an existing copy is replaced unless it is up to date
        replace,  // whatever is at the destination is replaced (except the source itself)
        ifNewer   // an existing file is replaced only when the source is newer (isNewer); a
                  // source whose date cannot be read fails the job and replaces nothing
    };

    enum class Outcome {
        copied,
        skipped,  // kept as it was: up to date, kept, the source itself, or already linked
        linked,   // a hard link, or a copy standing in where links are impossible
        failed
    };

    struct Expected {
        std::int64_t bytes = 0;
        ContentHash hash;
    };

    struct Options {
        Existing existing = Existing::update;
        std::chrono::nanoseconds granularity{1};  // the destination's date resolution
        std::int64_t threads = 16;
        ThreadSpawner spawn;  // tests only: replaces thread creation
        // True for the device and inode of each of the run's source files; such a file found
        // at a destination is never replaced. Called once per job with an existing
        // destination, on the worker threads. Empty: no file is treated as a source.
        std::function<bool(std::uint64_t device, std::uint64_t inode)> isSource;
        // Where a regular file that a job replaces (by a copy or a link) is kept: it is
        // renamed there, no data copied, just before its replacement takes its name, and
        // renamed back when that fails. Called with the destination and the file's hard-link
        // count, on the worker threads; an empty answer replaces the file without keeping it.
        // Empty: nothing is kept.
        std::function<std::string(const std::string& dest, std::uint64_t links)> keepAs;
        // Called once per destination folder before any job looks into it (the run's lock
        // cleans the folder there), on the worker threads. Empty: nothing is called.
        std::function<void(std::string_view folder)> entering;
        // When set, every copy hashes the data as it passes (read/write instead of the
        // kernel's copy, so the data crosses memory once) and hands the hash of a complete
        // copy to this callback, on the worker thread, before the job's report. Links and
        // skipped jobs give no hash.
        std::function<void(std::size_t index, const ContentHash& hash)> hashed;
        // The content a job's copy must have (absent: nothing known, nothing checked). A copy
        // is hashed as it passes and checked before it takes the destination's name; one that
        // differs is removed, the destination left as it was, and the job fails with
        // damagedError. When a regular file at the destination would be replaced, one of the
        // expected size is hashed first: already holding the expected content, it is not
        // rewritten, and the source is still read and checked (skipped when it matches, else
        // failed with damagedError). Called on the worker threads.
        std::function<std::optional<Expected>(std::size_t index)> expected;
    };

    // The `error` of a job whose destination is another of the run's sources (outside the
    // errno range, so errorText() has no words for it: the caller says what happened).
    static constexpr int replacesSourceError = 1 << 16;
    // The `error` of a job whose source's content differs from Options::expected.
    static constexpr int damagedError = 1 << 17;

    // `error` is the errno of a failed job (or replacesSourceError), else 0.
    using Report = std::function<void(std::size_t index, Outcome outcome, int error)>;
    // Called just before a job's data is copied (not for jobs that turn out skipped).
    using Starting = std::function<void(std::size_t index)>;

    FileCopier(Options options, std::function<bool()> cancelled, Report report,
               Starting starting = {});

    void run(const std::vector<Job>& jobs);

    // True when an existing copy needs no re-copy: same size, and dates less than the
    // destination file system's date resolution apart (a FAT drive keeps only even seconds;
    // 1 ns or less asks for equal dates). A copy dated after its source is not current: the
    // source may have been replaced by an older file of the same size.
    static bool isUpToDate(const platform::FileInfo& existing, std::int64_t bytes,
                           platform::FileTime mtime, std::chrono::nanoseconds granularity);

    // True when a source dated `source` is newer than a file dated `existing`: later by at
    // least the destination's date resolution, so that a copy a coarse clock rounded never
    // counts as older than its own source.
    static bool isNewer(platform::FileTime source, platform::FileTime existing,
                        std::chrono::nanoseconds granularity);

  private:
    class Worker;

    Options options_;
    std::function<bool()> cancelled_;
    Report report_;
    Starting starting_;
};

}  // namespace morrowdeck
