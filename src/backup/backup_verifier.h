#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_run.h"
#include "engine/replaced_runs.h"
#include "engine/run_result.h"

namespace morrowdeck {

// Checks a backup folder against its manifest: re-reads every listed file and compares its
// content hash (damaged), finds listed files that are gone (missing) and files in the crate
// folders that the manifest does not list (unexpected; the metadata folder and the
// de-duplication store are not looked into). Against a library it also names the library's
// tracks that the backup does not hold, or holds in an older version (the library's file is
// newer or of another size than when it was backed up).
//
// Threads: run() works on the engine run's work thread and reads files on up to `threads`
// workers; callbacks arrive on the MainQueue. result() is complete once the completion has
// arrived and stays unchanged until the next run. The destructor cancels and waits.
class BackupVerifier {
  public:
    using LogCallback = ProgressReporter::LogCallback;
    using ProgressCallback = ProgressReporter::ProgressCallback;
    using Completion = std::function<void(const RunResult&)>;

    struct Finding {
        enum class Kind { damaged, missing, unexpected, notInBackup, older };
        Kind kind;
        std::string path;  // inside the backup; a library track's path for the last two kinds
        std::string detail;

        bool operator==(const Finding&) const = default;
    };

    struct Result {
        std::vector<Finding> findings;  // by kind, then path
        std::int64_t checkedFiles = 0;
        std::int64_t checkedBytes = 0;
        // Earlier versions that re-runs replaced and kept, oldest run first; not findings.
        std::vector<ReplacedRuns::Run> replaced;
        bool clean() const { return findings.empty(); }
    };

    explicit BackupVerifier(std::shared_ptr<MainQueue> mainQueue);
    ~BackupVerifier();
    BackupVerifier(const BackupVerifier&) = delete;
    BackupVerifier& operator=(const BackupVerifier&) = delete;

    // `library`: the "_Serato_" folder to compare with, or none.
    void run(std::filesystem::path backupRoot, std::optional<std::filesystem::path> library,
             LogCallback onLog, ProgressCallback onProgress, Completion completion,
             std::int64_t threads = 4);

    // The whole check on the calling thread. Throws SeratoError or PlatformError when the
    // folder is no backup or has no manifest.
    ProgressSnapshot execute(const std::filesystem::path& backupRoot,
                             const std::optional<std::filesystem::path>& library,
                             std::int64_t threads = 4);

    void cancel() { engineRun_.cancel(); }
    const Result& result() const { return result_; }

    // "damaged", "missing", "unexpected", "not in backup", "older in backup".
    static std::string kindName(Finding::Kind kind);
    // "Checked 12 file(s), 40.1 MB: all well." or the counts of each kind found.
    static std::string summaryLine(const Result& result);

  private:
    struct Check;

    void checkListed(Check& check, std::int64_t threads);
    void findUnexpected(Check& check, const std::filesystem::path& folder,
                        const std::string& relFolder);
    void compareWithLibrary(Check& check, const std::filesystem::path& library);
    void add(Check& check, Finding finding);

    EngineRun engineRun_;
    ProgressReporter& reporter_ = engineRun_.reporter();
    Result result_;
};

}  // namespace morrowdeck
