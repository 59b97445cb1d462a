#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backup/backup_options.h"
#include "backup/database_rows.h"
#include "backup/planned_source.h"
#include "engine/engine_run.h"
#include "engine/file_copier.h"
#include "engine/run_preview.h"
#include "engine/run_result.h"
#include "library/bounded_read.h"
#include "library/crate.h"
#include "platform/file_operations.h"

namespace morrowdeck {

// Performs one backup: copies the tracks of the selected crates into one folder per crate
// under the destination (or once into a store folder plus hard links), keeps smart crates
// as rule files or folders, and captures Serato's track records and ratings beside them.
// A backup only adds or updates files: a file it replaces is moved into the run's folder of
// replaced files (ReplacedRuns), and only the runs beyond keepReplaced are ever deleted.
//
// Ownership and threads: the caller (a window model or the CLI) owns the engine for one run.
// run() starts a work thread for execute(); querying the sources and the copy phases use up
// to threadCount worker threads. Callbacks arrive on the MainQueue. The destructor requests
// cancellation and waits for the work thread, so an engine may be dropped at any time.
class BackupEngine {
  public:
    using Snapshot = ProgressSnapshot;
    using LogCallback = ProgressReporter::LogCallback;
    using ProgressCallback = ProgressReporter::ProgressCallback;
    using Completion = std::function<void(const RunResult&)>;

    // One unit of work for the copy workers. The paths are views into strings that outlive
    // the run's job lists (the crates' tracks and files, the plan's node-based folder and store
    // sets), so a plan of 200,000 jobs allocates no path per job.
    using Job = FileCopier::Job;
    using Outcome = FileCopier::Outcome;

    explicit BackupEngine(std::shared_ptr<MainQueue> mainQueue);
    ~BackupEngine();
    BackupEngine(const BackupEngine&) = delete;
    BackupEngine& operator=(const BackupEngine&) = delete;

    // Starts the run on the engine's work thread and returns at once. Log lines and snapshots
    // reach the callbacks in the order they were produced; completion is called exactly once,
    // after the final snapshot and the summary line.
    void run(std::vector<Crate::Ptr> crates, std::filesystem::path destinationRoot,
             BackupOptions options, std::optional<std::filesystem::path> databaseURL,
             LogCallback onLog, ProgressCallback onProgress, Completion completion);

    // The whole backup on the calling thread. Throws SeratoError or PlatformError when a
    // start check fails; every later problem is counted and logged.
    Snapshot execute(const std::vector<Crate::Ptr>& crates,
                     const std::filesystem::path& destinationRoot, const BackupOptions& options,
                     const std::optional<std::filesystem::path>& databaseURL);

    // What execute() would do, planned the same way, on the calling thread; nothing is
    // written. Without a destination nothing counts as up to date and no free space is given.
    // `known` (when given) supplies the source facts of earlier plans and gains this one's.
    RunPreview preview(const std::vector<Crate::Ptr>& crates,
                       const std::optional<std::filesystem::path>& destinationRoot,
                       const BackupOptions& options,
                       const std::optional<std::filesystem::path>& databaseURL,
                       SourceFacts* known = nullptr);

    // Requests cancellation: no further crate is planned and no further job starts; copies
    // already under way finish.
    void cancel() { engineRun_.cancel(); }

    ProgressReporter& reporter() { return reporter_; }

    // Replaces the flush of the copied files to the drive that precedes the manifest (0 or
    // errno), so that tests can see the order and make it fail.
    void setDataSync(std::function<int()> sync) { dataSync_ = std::move(sync); }

    // The libraries of a backup that spans the computer and its drives, in member order; the
    // first is the one `databaseURL` names. For each crate the run is given, `trackMembers`
    // holds the library of each of its tracks (as MergedForest does); a crate not listed is the
    // first library's. Each library's crate files and crate order are kept apart in the
    // metadata folder (the first's where a backup of one library keeps them), and the catalog
    // records which library each file came from.
    void setLibraries(std::vector<std::filesystem::path> folders,
                      std::unordered_map<const Crate*, std::vector<std::size_t>> trackMembers) {
        libraries_ = std::move(folders);
        trackMembers_ = std::move(trackMembers);
    }

    // Replaces the lookup of the largest file the destination's file system stores (FAT's 4 GiB),
    // so that tests can plan for a drive this machine cannot mount.
    void setLargestFile(
        std::function<std::optional<std::int64_t>(const std::filesystem::path&)> largest) {
        largestFile_ = std::move(largest);
    }

    // How long the copy of Serato's database waits for Serato's write lock (tests shorten it).
    void setDatabaseWait(std::chrono::milliseconds wait) { databaseWait_ = wait; }

    static std::optional<platform::FileInfo> fileInfo(const std::filesystem::path& file);
    static std::optional<std::int64_t> freeSpace(const std::filesystem::path& path);

    // How a finished run ended, in the words of both its last log line and the window's
    // status: "Backup cancelled.", or "Backup complete — 3 copied, 0 linked, 12 up-to-date,
    // 0 failed, 0 missing." ("Backup finished with issues — …" when any failed or is missing).
    static std::string summaryLine(const Snapshot& snapshot);

  private:
    struct Plan;

    bool plan(const std::vector<Crate::Ptr>& crates, const std::filesystem::path& root,
              const BackupOptions& options, Plan& plan);
    // Counts a track (or smart crate file) the run leaves out: its log line, the missing (or,
    // for a file the destination cannot hold, the failed) counter and the problem list.
    void leaveOut(Plan& plan, const Crate& crate, RunProblem problem, std::string logLine);
    // The plan's jobs per crate, into `preview` (measured first: its allocation unit rounds
    // the files to copy); destinations are looked at (read only) when `root` is given.
    static void tally(const Plan& plan, const std::vector<Crate::Ptr>& crates,
                      const std::optional<std::filesystem::path>& root,
                      const BackupOptions& options, RunPreview& preview);
    void planCrateTracks(const Crate& crate, const std::filesystem::path& root,
                         const BackupOptions& options, Plan& plan);
    void process(const std::vector<Job>& jobs, const BackupOptions& options,
                 std::chrono::nanoseconds granularity, const Plan& plan);
    // Logs the files this run kept and, after a run without failures, removes the runs
    // beyond the number to keep.
    void finishReplaced(const std::filesystem::path& root, const BackupOptions& options,
                        const Plan& plan);
    void statSources(const std::vector<Crate::Ptr>& crates, const BackupOptions& options,
                     Plan& plan);
    void record(const Job& job, Outcome outcome, int error);
    Snapshot finish(bool cancelled);

    // Metadata kept beside the audio (hidden ".morrowdeck" folder, smart-crate notes).
    // The "_Serato_" folders of this run, in member order: those set, else the one holding
    // databaseURL, else none.
    std::vector<std::filesystem::path> libraryFolders(
        const std::optional<std::filesystem::path>& databaseURL) const;
    // Which library each planned entry's track is of.
    std::size_t memberOf(const Crate& crate, std::size_t track) const;
    void captureLibrarySnapshot(const std::filesystem::path& root,
                                const std::vector<std::filesystem::path>& libraries,
                                const Plan& plan);
    // Serato's master.sqlite as this run needs it, read once: the rows of the tracks it backs
    // up and the crates the database holds.
    DatabaseRows readDatabaseRows(const Plan& plan);
    void captureSeratoMetadata(const std::filesystem::path& root, const Plan& plan,
                               const DatabaseRows& rows);
    void captureLibraryFiles(const std::filesystem::path& root,
                             const std::vector<std::filesystem::path>& libraries,
                             const std::vector<Crate::Ptr>& crates, const BackupOptions& options,
                             Plan& plan, const DatabaseRows& rows);
    // The saved definition of one crate read from the database: a crate file listing its
    // tracks in the database's order, named as Serato names crate files.
    void saveDatabaseCrate(const std::filesystem::path& metadata, const Crate& crate,
                           const Plan& plan);
    // Consistent copies of Serato's master.sqlite and of the databases its `connection` table
    // names, each replacing the previous copy only once complete and checked. A database that
    // cannot be copied is a warning and keeps its previous copy; it never fails the run.
    void saveDatabaseCopies(const std::filesystem::path& root);
    // One such copy to `dest`; false (after a warning naming `what`) when it was not made.
    bool saveDatabaseCopy(const std::filesystem::path& source, const std::filesystem::path& dest,
                          const std::string& what);
    void writeSmartCrateNotes(const std::filesystem::path& root, bool keepsReplaced);
    // Reads one file the metadata is made from, bounded; one that is there but cannot be
    // used is named in a warning.
    std::optional<std::vector<std::uint8_t>> readMetadata(const std::filesystem::path& file,
                                                         std::uint64_t maxBytes = maxMetadataBytes);
    // Writes one metadata file (creating its folder); a failure counts as a failed file.
    int writeMetadataFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                          platform::Flush flush = platform::Flush::toDisk);

    EngineRun engineRun_;
    ProgressReporter& reporter_ = engineRun_.reporter();
    std::function<int()> dataSync_;
    std::vector<std::filesystem::path> libraries_;
    std::unordered_map<const Crate*, std::vector<std::size_t>> trackMembers_;
    std::function<std::optional<std::int64_t>(const std::filesystem::path&)> largestFile_ =
        platform::largestFileSize;
    std::chrono::milliseconds databaseWait_{3000};
};

}  // namespace morrowdeck
