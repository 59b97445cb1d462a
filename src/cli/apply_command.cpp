// `morrowdeck-cli apply`: writes staged ratings and rules into Serato's database.
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/json_output.h"
#include "engine/background_task.h"
#include "engine/drained_main_queue.h"
#include "library/serato_library.h"
#include "platform/path_text.h"
#include "restore/apply_step.h"

namespace morrowdeck::cli {

namespace {

struct ApplyOptions {
    std::string serato;
    std::string database;
    std::string processTable = "/proc";
    bool json = false;
};

int runApply(const ApplyOptions& options) {
    const std::filesystem::path serato =
        options.serato.empty() ? SeratoLibrary::defaultLibraryLocation()
                               : std::filesystem::absolute(platform::toPath(options.serato));
    // The apply step blocks on SQLite (up to its busy timeout); it runs off the main thread
    // the same way the desktop app runs it, and its result comes back through the queue.
    auto queue = std::make_shared<DrainedMainQueue>();
    std::optional<ApplyOutcome> result;
    const std::filesystem::path database =
        options.database.empty() ? std::filesystem::path()
                                 : std::filesystem::absolute(platform::toPath(options.database));
    runInBackground<ApplyOutcome>(
        queue,
        [serato, database, proc = platform::toPath(options.processTable)] {
            return applyToSerato(serato, proc, database);
        },
        [&result](ApplyOutcome outcome) { result = std::move(outcome); },
        [](const std::string& why) { return ApplyOutcome{"The apply step failed: " + why}; });
    while (!result) queue->waitAndRun(std::chrono::milliseconds(100));
    const ApplyOutcome& outcome = *result;
    if (options.json) {
        printJson(std::cout, {{"message", outcome.message},
                              {"assetsUpdated", outcome.assetsUpdated},
                              {"rulesWritten", outcome.rulesWritten},
                              {"warnings", outcome.warnings}});
    } else {
        for (const auto& warning : outcome.warnings)
            std::cerr << "warning: " << warning << '\n';
        if (!outcome.applied || verbosity != Verbosity::quiet) std::cout << outcome.message << '\n';
    }
    return outcome.applied ? exitOk : exitFailures;
}

}  // namespace

void registerApplyCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<ApplyOptions>();
    CLI::App* command = app.add_subcommand("apply",
                                           "Write the ratings, colours, play counts and "
                                           "smart-crate rules a restore staged into Serato");
    command->add_option("--serato", options->serato,
                        "The restored _Serato_ folder or its parent (default: ~/Music/_Serato_)");
    command
        ->add_option("--database", options->database,
                     "The master.sqlite to write (default: Serato's database of the current "
                     "user: ~/Library/Application Support/Serato/Library/master.sqlite; on "
                     "Windows %LOCALAPPDATA%\\Serato\\Library\\master.sqlite, a place that "
                     "is assumed, not known: name the file here if Serato keeps it elsewhere)")
        ->check(CLI::ExistingFile);
    command->add_flag("--json", options->json, "Print one JSON document");
    // Hidden: where to look for a running Serato, so that tests can fake one.
    command->add_option("--process-table", options->processTable)->group("");
    command->callback([options, &status] { status = runApply(*options); });
}

}  // namespace morrowdeck::cli
