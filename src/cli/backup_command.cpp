// `morrowdeck-cli backup`: backs up the selected crates of a library into a folder.
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_engine.h"
#include "backup/drained_main_queue.h"
#include "cli/command.h"
#include "cli/crate_selection.h"
#include "cli/json_output.h"
#include "cli/library_location.h"
#include "cli/progress_line.h"
#include "library/serato_library.h"

namespace morrowdeck::cli {

namespace {

// More workers than this only exhaust the process's threads; no disk gains from them.
constexpr std::int64_t maxThreads = 256;

struct BackupCommandOptions {
    std::string to;
    std::string library;
    std::vector<std::string> crates;
    bool dedup = false;
    bool smartAsFolders = false;
    bool noVerify = false;
    std::int64_t threads = BackupOptions{}.threadCount;
    bool json = false;
};

// Ctrl-C presses, counted by the handler and read by the main loop. The first requests
// cancellation; the second ends the process at once (copies write to hidden temporary names,
// so no partial file is left under a real name).
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

void onInterrupt(int) {
    if (interrupts.fetch_add(1) >= 1) ::_exit(exitCancelled);
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

std::size_t terminalColumns() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

nlohmann::ordered_json snapshotJson(const ProgressSnapshot& snap) {
    return {
        {"phase", snap.phase},
        {"totalFiles", snap.totalFiles},
        {"completedFiles", snap.completedFiles},
        {"copiedFiles", snap.copiedFiles},
        {"skippedFiles", snap.skippedFiles},
        {"linkedFiles", snap.linkedFiles},
        {"missingFiles", snap.missingFiles},
        {"failedFiles", snap.failedFiles},
        {"totalBytes", snap.totalBytes},
        {"processedBytes", snap.processedBytes},
        {"skippedBytes", snap.skippedBytes},
        {"bytesToCopy", snap.bytesToCopy},
        {"bytesPerSecond", snap.bytesPerSecond},
        {"currentFile", snap.currentFile},
        {"finished", snap.finished},
        {"cancelled", snap.cancelled},
    };
}

BackupOptions engineOptions(const BackupCommandOptions& options) {
    BackupOptions engine;
    if (options.dedup) engine.duplicateMode = DuplicateMode::dedupHardLink;
    if (options.smartAsFolders) engine.smartCrateMode = SmartCrateMode::asFolder;
    engine.verifyExisting = !options.noVerify;
    engine.threadCount = options.threads;
    return engine;
}

int runBackup(const BackupCommandOptions& options) {
    const auto library = resolveLibraryOption(options.library);
    if (!library) {
        std::cerr << noLibraryMessage << '\n';
        return exitUsage;
    }
    const auto selection = selectCrates(SeratoLibrary::loadCrates(*library), options.crates);
    if (selection.unknownPath) {
        std::cerr << "No crate named " << *selection.unknownPath << ".\n";
        return exitUsage;
    }

    // State the callbacks write; declared before the engine so that it outlives the engine's
    // work thread, which the engine's destructor joins.
    ProgressLine progress(std::cerr, ::isatty(STDERR_FILENO) == 1, terminalColumns());
    nlohmann::ordered_json log = nlohmann::ordered_json::array();
    std::optional<RunResult> result;

    // Every callback runs on this thread, inside queue->waitAndRun().
    auto queue = std::make_shared<DrainedMainQueue>();
    BackupEngine engine(queue);
    installInterruptHandler();
    engine.run(
        selection.crates, std::filesystem::absolute(options.to), engineOptions(options),
        *library / "database V2",
        [&](const LogEntry& entry) {
            if (options.json) {
                log.push_back({{"level", levelName(entry.level)}, {"message", entry.message}});
                return;
            }
            progress.clear();
            std::cout << levelName(entry.level) << ": " << entry.message << std::endl;
        },
        [&](const ProgressSnapshot& snapshot) { progress.show(snapshot); },
        [&](const RunResult& outcome) { result = outcome; });

    bool cancelRequested = false;
    while (!result) {
        queue->waitAndRun(std::chrono::milliseconds(100));
        if (interrupts.load() > 0 && !cancelRequested) {
            cancelRequested = true;
            engine.cancel();
            progress.clear();
            std::cerr << "Cancelling: copies under way finish first (Ctrl-C again stops at once)."
                      << std::endl;
        }
    }
    progress.clear();

    if (const auto* failure = std::get_if<RunFailure>(&*result)) {
        std::cerr << failure->description << '\n';
        return exitUsage;
    }
    const auto& snapshot = std::get<ProgressSnapshot>(*result);
    if (options.json) {
        printJson(std::cout, {{"snapshot", snapshotJson(snapshot)}, {"log", std::move(log)}});
    }
    if (snapshot.cancelled) return exitCancelled;
    return snapshot.failedFiles == 0 && snapshot.missingFiles == 0 ? exitOk : exitFailures;
}

}  // namespace

void registerBackupCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<BackupCommandOptions>();
    CLI::App* command =
        app.add_subcommand("backup", "Back up the audio and crates of a library into a folder");
    command->add_option("--to", options->to, "The backup folder (created when missing)")
        ->required()
        ->check([](const std::string& value) {
            return value.empty() ? std::string("the folder must not be empty") : std::string();
        });
    command->add_option("--library", options->library,
                        "The _Serato_ folder or its parent (default: ~/Music/_Serato_)");
    command->add_option("--crate", options->crates,
                        "Back up this crate and the crates below it, named by its path such as "
                        "Genres/House; may repeat (default: every crate)");
    command->add_flag("--dedup", options->dedup,
                      "Store each file once and hard-link it into the crate folders");
    command->add_flag("--smart-as-folders", options->smartAsFolders,
                      "Copy smart crates' tracks into folders instead of saving their rules");
    command->add_flag("--no-verify", options->noVerify,
                      "Leave files already in the backup untouched, even when changed");
    command->add_option("--threads", options->threads, "Copies at the same time (default: 16)")
        ->check(CLI::Range(std::int64_t{1}, maxThreads));
    command->add_flag("--json", options->json,
                      "Print one JSON document with the final progress and the log at the end");
    command->callback([options, &status] { status = runBackup(*options); });
}

}  // namespace morrowdeck::cli
