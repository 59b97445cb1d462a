// `morrowdeck-cli restore`: restores a backup folder into an audio folder and a Serato library.
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/engine_session.h"
#include "cli/preview_output.h"
#include "library/serato_library.h"
#include "restore/restore_engine.h"
#include "restore/restore_status.h"

namespace morrowdeck::cli {

namespace {

// More workers than this only exhaust the process's threads; no disk gains from them.
constexpr std::int64_t maxThreads = 256;

struct RestoreCommandOptions {
    std::string from;
    std::string audioTo;
    std::string serato;
    bool keepExisting = false;
    bool noRebuild = false;
    std::int64_t threads = 16;
    bool json = false;
    bool dryRun = false;
};

int runRestore(const RestoreCommandOptions& options) {
    const std::filesystem::path serato = options.serato.empty()
                                             ? SeratoLibrary::defaultLibraryLocation()
                                             : std::filesystem::absolute(options.serato);
    const bool rebuild = !options.noRebuild;
    if (options.dryRun) {
        RestoreEngine engine(std::make_shared<DrainedMainQueue>());
        try {
            const RunPreview preview = engine.preview(std::filesystem::absolute(options.from),
                                                      std::filesystem::absolute(options.audioTo),
                                                      serato, !options.keepExisting);
            // A restore has no fit check of its own: the free space is for information.
            return printPreview(std::cout, preview, options.json, false);
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
            return exitUsage;
        }
    }

    // The session outlives the engine, whose destructor joins its work thread.
    EngineSession session(options.json);
    RestoreEngine engine(session.queue());
    session.setProblems([&engine] { return engine.reporter().problems(); });
    engine.reporter().setLinePerFile(session.linePerFile());
    engine.run(std::filesystem::absolute(options.from), std::filesystem::absolute(options.audioTo),
               serato, !options.keepExisting, rebuild, session.onLog(), session.onProgress(),
               session.completion(), options.threads);
    return session.wait(
        [&] { engine.cancel(); },
        [&](const ProgressSnapshot& snapshot) { return restoreStatusMessage(snapshot, rebuild); });
}

}  // namespace

void registerRestoreCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<RestoreCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "restore", "Restore a backup folder into an audio folder and a Serato library");
    command->add_option("--from", options->from, "The backup folder to restore from")->required();
    command
        ->add_option("--audio-to", options->audioTo,
                     "Where the audio is copied, one folder per crate")
        ->required();
    command->add_option(
        "--serato", options->serato,
        "The _Serato_ folder or its parent, created when missing (default: ~/Music/_Serato_)");
    command->add_flag("--keep-existing", options->keepExisting,
                      "Leave files that already exist untouched");
    command->add_flag("--no-rebuild", options->noRebuild, "Do not write a new database V2");
    command->add_option("--threads", options->threads, "Copies at the same time (default: 16)")
        ->check(CLI::Range(std::int64_t{1}, maxThreads));
    command->add_flag("--json", options->json,
                      "Print one JSON document with the final progress and the log");
    command->add_flag("--dry-run", options->dryRun,
                      "Print what the restore would copy, per crate; write nothing");
    command->callback([options, &status] { status = runRestore(*options); });
}

}  // namespace morrowdeck::cli
