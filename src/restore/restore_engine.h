#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/backup_catalog.h"
#include "engine/engine_run.h"
#include "engine/file_copier.h"
#include "engine/run_preview.h"
#include "engine/run_result.h"
#include "library/bounded_read.h"
#include "library/serato_database.h"
#include "restore/existing_files.h"
#include "restore/member_targets.h"
#include "restore/serato_database_restore.h"
#include "restore/target_names.h"
#include "restore/undo_journal.h"

namespace morrowdeck {

// Performs one restore: reads a backup folder back into crates, copies the audio into a
// target folder (one folder per crate), writes one Serato crate file per crate, the smart
// crates and the crate order into a Serato library, optionally rebuilds "database V2" from
// the backup's saved records or the files' tags, stages ratings and rules for the apply
// step and writes a notes file. Nothing is deleted: every file it replaces is saved in the
// run's undo folder first, and every write goes through one LibraryWriter.
//
// Threads: run() executes the whole restore on the engine's own work thread; the audio files
// are copied by up to threadCount worker threads, while everything written from them (crate
// files, records, log lines) follows the backup's order. Callbacks arrive on the MainQueue.
// The destructor requests cancellation and waits.
class RestoreEngine {
  public:
    using Snapshot = ProgressSnapshot;
    using LogCallback = ProgressReporter::LogCallback;
    using ProgressCallback = ProgressReporter::ProgressCallback;
    using Completion = std::function<void(const RunResult&)>;

    // A folder of the backup that holds audio files of its own.
    struct CrateEntry {
        std::vector<std::string> components;       // folder path below the backup root
        std::vector<std::filesystem::path> files;  // its audio files, by name in code-point order
    };

    explicit RestoreEngine(std::shared_ptr<MainQueue> mainQueue);
    ~RestoreEngine();
    RestoreEngine(const RestoreEngine&) = delete;
    RestoreEngine& operator=(const RestoreEngine&) = delete;

    void run(std::filesystem::path backupRoot, std::filesystem::path audioTarget,
             std::filesystem::path seratoLibrary, ExistingFiles existing, bool rebuildDatabase,
             LogCallback onLog, ProgressCallback onProgress, Completion completion,
             std::int64_t threadCount = 16);

    // The whole restore on the calling thread. Throws SeratoError or PlatformError when a
    // start check fails (Serato is running, the folder holds no backup, a folder cannot be
    // made or written, a chosen crate is not in the backup); every later problem is counted
    // and logged.
    Snapshot execute(const std::filesystem::path& backupRoot,
                     const std::filesystem::path& audioTarget,
                     const std::filesystem::path& seratoLibrary, ExistingFiles existing,
                     bool rebuildDatabase, std::int64_t threadCount = 16);

    // What execute() would copy, planned the same way, on the calling thread; nothing is
    // written, so it also runs while Serato is open. Each crate folder of the backup is one row;
    // the free space is the audio target's, and each file's fate at an existing file is
    // counted. Throws SeratoError when the folder holds no backup or a chosen crate is not in it.
    RunPreview preview(const std::filesystem::path& backupRoot,
                       const std::filesystem::path& audioTarget,
                       const std::filesystem::path& seratoLibrary, ExistingFiles existing);

    // Restores only these crates of the backup and the crates below each, with their tracks
    // and smart crates (a smart crate only by its own path or its group's, "Smart Crates");
    // paths are components joined with "/", compared in their canonical form. Empty: every
    // crate. Other crates and records of the target library stay as they are.
    void setCrates(std::vector<std::string> paths) { crates_ = std::move(paths); }

    // With targets, execute() and preview() restore the backup as it was, one library after
    // the other in the targets' order: each library's tracks go back to their own paths below
    // its target's root, and its crates, crate order and records to its target's Serato folder
    // (paths relative to that folder's volume); the audio target and Serato library they are
    // given are not used. A target of Found::none, or a backup that does not record where its
    // tracks were, is a start failure. Empty (the default): one folder per crate.
    void setTargets(std::vector<MemberTarget> targets) { targets_ = std::move(targets); }

    // With a request, execute() also puts the backup's copy of Serato's database back after
    // everything else, where no database exists (SeratoDatabaseRestore); a refusal or a failed
    // write is a failed file of the run.
    void setSeratoDatabase(std::optional<SeratoDatabaseRestore::Request> request) {
        seratoDatabase_ = std::move(request);
    }
    // The process table execute() looks in for a running Serato; "/proc" unless tests set it.
    void setProcessTable(std::filesystem::path proc) { processTable_ = std::move(proc); }
    // Whether the audio target's file system takes a name the backup stored in another form;
    // TargetNames::fileSystemAccepts unless tests set it.
    void setNameCheck(std::function<bool(const std::filesystem::path& folder,
                                         const std::string& name)> check) {
        nameCheck_ = std::move(check);
    }
    void cancel() { engineRun_.cancel(); }
    ProgressReporter& reporter() { return reporter_; }

    // Walks a backup folder: crate entries in depth-first post-order and every ".scrate"
    // file. The named folders of the backup folder itself (its metadata, the de-duplication
    // store) and macOS's companion files are skipped; folders reached through a symbolic link
    // are not entered, so a link loop cannot recurse forever.
    static void scan(const std::filesystem::path& folder, const std::filesystem::path& relativeTo,
                     std::vector<CrateEntry>& into, std::vector<std::filesystem::path>& scrates,
                     const std::vector<std::string>& skippedFolders);

    // The 15 lower-case extensions the restore treats as audio.
    static const std::set<std::string>& audioExtensions();

    // Squares the scan with the files `catalog` says the backup holds: one the scan passed
    // over for its type (a video a crate lists) joins its folder's entry, in name order. One
    // that is no longer in the backup is returned (backup-relative, in catalog order), as is
    // a path that would lead out of the crate folders.
    static std::vector<std::string> adoptCatalogFiles(
        const BackupCatalog& catalog, const std::filesystem::path& root,
        const std::vector<std::string>& skippedFolders, std::vector<CrateEntry>& entries);

  private:
    struct Run;
    // What the libraries restored so far did, for the run's end line.
    struct Totals {
        std::size_t crates = 0;
        std::size_t smartCrates = 0;
        std::size_t tracks = 0;
        std::size_t entries = 0;
        std::size_t records = 0;
        bool databasePutBack = false;
        bool needsApply = false;
        bool anything = false;  // some library had crates or smart crates to restore
    };

    // What a copy job does at its place in the audio target.
    enum class Fate {
        fresh,    // nothing is there
        replace,  // a file is there and is replaced
        keep,     // a file is there and stays (the backup's content already, or kept by choice)
        aside,    // a file is there and stays; the job was renamed to a "(restored)" name
        refused   // a file is there and no free "(restored)" name was found: nothing is copied
    };

    // The copies of the crate folders: one job per distinct track, the folders the jobs'
    // views point into, and the crate files the folders make.
    struct CopyPlan {
        std::deque<std::string> folders;  // per crate folder, or per job as it was
        std::deque<std::string> sources;  // the jobs' source paths, which they hold views into
        std::deque<std::string> names;    // and their file names in the audio target
        std::vector<FileCopier::Job> jobs;
        std::vector<std::size_t> jobOfFile;  // per file of the entries, in order
        std::size_t crateFiles = 0;
        // Per job, once planned against the files at the target (placeBesideExisting).
        std::vector<Fate> fates;
        // The names kept in their stored form, said once: "" when none.
        std::string keptNamesText;
    };

    // Reads the backup's metadata and scans its folders (nothing is written); throws when the
    // folder holds no backup. With run.place set, only that library's files are kept.
    void prepare(Run& run, const std::filesystem::path& backupRoot,
                 const std::filesystem::path& seratoLibrary, std::vector<CrateEntry>& entries,
                 std::vector<std::filesystem::path>& scrates);
    // Restores one library (run.place) or the whole backup a folder per crate (no place) into
    // its folders; false when cancelled.
    bool restoreLibrary(const MemberTarget* place, const std::filesystem::path& backupRoot,
                        const std::filesystem::path& audioTarget,
                        const std::filesystem::path& seratoLibrary, ExistingFiles existing,
                        bool rebuildDatabase, std::int64_t threadCount, Totals& totals);
    // Adds one library's rows (a folder per crate: the whole backup's) to `preview`.
    void previewLibrary(const MemberTarget* place, const std::filesystem::path& backupRoot,
                        const std::filesystem::path& audioTarget,
                        const std::filesystem::path& seratoLibrary, ExistingFiles existing,
                        RunPreview& preview);
    // Keeps only the files of the library restored as it was, each with the path it goes back
    // to; a file whose recorded path would leave its target is left in the backup with a line.
    void keepFilesOfPlace(Run& run, std::vector<CrateEntry>& entries);
    // The folder holding every file the place's library gets back (its root when none).
    static std::filesystem::path placeFolder(const Run& run);

    // With a catalog that lists the backup's crates, only those are restored: the other
    // folders (an earlier run's, of a crate renamed or removed since) move to
    // run.notInLastRun, and their saved crate and smart-crate files are dropped.
    static void keepCratesOfLastRun(Run& run, std::vector<CrateEntry>& entries,
                                    std::vector<std::filesystem::path>& scrates);
    // Each file goes to its folder and name below the audio target (TargetNames, asking
    // `accepts`).
    static CopyPlan planCopies(const Run& run, const std::vector<CrateEntry>& entries,
                               const TargetNames::Accepts& accepts);
    // Each job's fate at the target, as the run's choice for existing files decides it (dates
    // compared at `granularity`). With keepBoth a job whose place holds another file is renamed
    // to the first free "(restored)" name, or to one that already holds its content.
    static void placeBesideExisting(const Run& run, CopyPlan& plan,
                                    std::chrono::nanoseconds granularity);
    // Keeps only the chosen crates' entries, saved crates, smart crates and missing files;
    // throws when a chosen path names no crate of the backup.
    void keepChosenCrates(Run& run, std::vector<CrateEntry>& entries,
                          std::vector<std::filesystem::path>& scrates) const;
    bool restoreCrates(Run& run, const std::vector<CrateEntry>& entries, std::size_t smartCrates,
                       std::int64_t threads);
    bool restoreSmartCrates(const Run& run, const std::vector<std::filesystem::path>& scrates);
    void readBackupMetadata(Run& run);
    // A file of the backup's metadata or of the target library, at most `maxBytes` of it; a
    // file that is there but cannot be used is named in a warning.
    std::optional<std::vector<std::uint8_t>> readMetadata(
        const std::filesystem::path& file, std::uint64_t maxBytes = maxMetadataBytes);
    // Begins the run's undo record and saves the library files the run may replace, before
    // anything else is written; throws a start error, with nothing written, when that fails.
    std::unique_ptr<UndoJournal> beginUndo(const Run& run);
    // Ends the undo record; a record that cannot be written is a failed file.
    void finishUndo(UndoJournal& journal);
    static std::vector<std::filesystem::path> smartCratesToRestore(
        const Run& run, const std::vector<std::filesystem::path>& scanned);
    static std::string trackIdentity(const Run& run, const std::string& relPath,
                                     const std::filesystem::path& file);
    static bool makesCrateFile(const Run& run, const std::string& relFolder);
    // The crate a backup folder holds: the folder's components with each stored name
    // replaced by the crate's own.
    static std::vector<std::string> crateComponents(const Run& run, const std::string& relFolder);
    // The components of the saved crates with no folder of audio in the backup (empty ones).
    static std::vector<std::vector<std::string>> savedCratesWithoutFolder(
        const Run& run, const std::vector<CrateEntry>& entries);
    // The crate file of the backup folder relFolder, for the crate `components`.
    void writeCrate(Run& run, const std::string& relFolder,
                    const std::vector<std::string>& components,
                    const std::vector<std::filesystem::path>& files,
                    const std::vector<std::string>& paths);
    // Copies the jobs on the pool and counts each outcome as it arrives (a kept file's
    // `sizes` entry as skipped bytes); returns the outcomes in job order (none for a job
    // dropped by cancellation).
    // `refused` jobs are not copied: each is a failure with EEXIST.
    std::vector<std::optional<std::pair<FileCopier::Outcome, int>>> copyFiles(
        const Run& run, const CopyPlan& plan, const std::vector<std::int64_t>& sizes,
        std::int64_t threads);
    void logFailure(const FileCopier::Job& job, int error);
    void recordStep(Run& run, const std::filesystem::path& destination, const std::string& key,
                    const std::string& relPath);
    void writeDatabase(Run& run);
    void writeCrateOrder(const Run& run, const std::vector<std::filesystem::path>& scrates);
    // The ratings of the restored tracks and the rules of the smart crates (with chosen crates,
    // those of `scrates` only), staged for the apply step; answers how many rules.
    std::size_t stageRatingsAndRules(const Run& run,
                                     const std::vector<std::filesystem::path>& scrates);
    void writeNotes(const Run& run);
    // Puts Serato's database back when requested; true when it was written.
    bool putSeratoDatabase(const Run& run, UndoJournal& journal);
    // Ends the run; `summary` is its end line when it was not cancelled (none when empty).
    Snapshot finish(bool cancelled, std::string summary = {});

    EngineRun engineRun_;
    ProgressReporter& reporter_ = engineRun_.reporter();
    std::filesystem::path processTable_ = "/proc";
    std::optional<SeratoDatabaseRestore::Request> seratoDatabase_;
    std::vector<std::string> crates_;
    std::vector<MemberTarget> targets_;
    bool unknownSeratoState_ = false;  // said once, by the first library's restore
    std::function<bool(const std::filesystem::path&, const std::string&)> nameCheck_ =
        TargetNames::fileSystemAccepts;
};

}  // namespace morrowdeck
