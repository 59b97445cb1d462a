// `morrowdeck-cli backup`: backs up the selected crates of a library into a folder.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_engine.h"
#include "cli/command.h"
#include "cli/engine_session.h"
#include "cli/library_location.h"
#include "cli/preview_output.h"
#include "library/crate_selection.h"
#include "library/library_member.h"
#include "library/merged_forest.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

// More workers than this only exhaust the process's threads; no disk gains from them.
constexpr std::int64_t maxThreads = 256;

struct BackupCommandOptions {
    std::string to;
    std::vector<std::string> libraries;
    bool all = false;  // the home library and every drive's, with any --library besides
    std::vector<std::string> crates;
    bool notInCrate = false;
    bool dedup = false;
    bool smartAsFolders = false;
    bool noVerify = false;
    std::int64_t threads = BackupOptions{}.threadCount;
    std::int64_t keepReplaced = BackupOptions{}.keepReplaced;
    bool json = false;
    bool dryRun = false;
    bool allowPartial = false;
};

BackupOptions engineOptions(const BackupCommandOptions& options) {
    BackupOptions engine;
    if (options.dedup) engine.duplicateMode = DuplicateMode::dedupHardLink;
    if (options.smartAsFolders) engine.smartCrateMode = SmartCrateMode::asFolder;
    engine.verifyExisting = !options.noVerify;
    engine.threadCount = options.threads;
    engine.allowPartial = options.allowPartial;
    engine.keepReplaced = options.keepReplaced;
    return engine;
}

int runBackup(const BackupCommandOptions& options) {
    std::string notFound;
    const auto libraries = resolveLibraries(options.libraries, options.all, notFound);
    if (!libraries) {
        std::cerr << notFound << '\n';
        return exitUsage;
    }
    // Several libraries are one: their crates merged by path, each track of its own library.
    const auto members =
        LibraryMembers::describe(*libraries, SeratoLibrary::defaultLibraryLocation());
    std::vector<std::string> warnings;
    const MergedForest merged = MergedForest::load(members, true, &warnings);
    const auto& forest = merged.forest;
    std::vector<std::filesystem::path> folders;
    for (const auto& member : members)
        folders.push_back(member.library);
    const auto setLibraries = [&](BackupEngine& engine) {
        if (members.size() > 1) engine.setLibraries(folders, merged.trackMembers);
    };
    CrateSelection selection(std::make_shared<const CrateIndex>(forest));
    if (options.crates.empty() && !options.notInCrate) {
        selection.selectAll();
    } else if (const auto unknown = selection.select(options.crates)) {
        std::cerr << "No crate named " << *unknown << ".\n";
        return exitUsage;
    }
    if (options.notInCrate) {
        if (forest.empty() || !forest.back()->isNotInCrate) {
            std::cerr << "Every track of the library is in a crate.\n";
            return exitUsage;
        }
        if (selection.state(*forest.back()) != CrateSelection::CheckState::checked)
            selection.toggle(*forest.back());
    }

    const auto destination = std::filesystem::absolute(platform::toPath(options.to));
    const auto database = folders.front() / SeratoFolder::databaseFile;
    if (options.dryRun) {
        for (const auto& warning : warnings)
            std::cerr << "warning: " << warning << '\n';
        BackupEngine engine(std::make_shared<DrainedMainQueue>());
        setLibraries(engine);
        try {
            const RunPreview preview = engine.preview(selection.selectedCrates(), destination,
                                                      engineOptions(options), database);
            return printPreview(std::cout, preview, options.json, !options.allowPartial);
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
            return exitUsage;
        }
    }

    // The session outlives the engine, whose destructor joins its work thread.
    EngineSession session(options.json);
    // Damaged crate files head the run's log, like the engine's own warnings.
    const auto log = session.onLog();
    for (auto& warning : warnings)
        log(LogEntry(LogEntry::Level::warning, std::move(warning)));
    BackupEngine engine(session.queue());
    setLibraries(engine);
    engine.reporter().setLinePerFile(session.linePerFile());
    session.setProblems([&engine] { return engine.reporter().problems(); });
    engine.run(selection.selectedCrates(), destination, engineOptions(options), database,
               session.onLog(), session.onProgress(), session.completion());
    return session.wait([&] { engine.cancel(); });
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
    command->add_option("--library", options->libraries,
                        "The _Serato_ folder or its parent (default: ~/Music/_Serato_); "
                        "repeat it for a library that spans drives");
    command->add_flag("--all", options->all,
                      "The home library and the _Serato_ folder of every mounted drive, as one");
    command->add_option("--crate", options->crates,
                        "Back up this crate and the crates below it, named by its path such as "
                        "Genres/House; may repeat (default: every crate)");
    command->add_flag("--not-in-crate", options->notInCrate,
                      "Back up the library's tracks that no crate holds (with --crate: as well)");
    command->add_flag("--dedup", options->dedup,
                      "Store each file once and hard-link it into the crate folders");
    command->add_flag("--smart-as-folders", options->smartAsFolders,
                      "Copy smart crates' tracks into folders instead of saving their rules");
    command->add_flag("--no-verify", options->noVerify,
                      "Leave files already in the backup untouched, even when changed");
    command->add_option("--threads", options->threads, "Copies at the same time (default: 16)")
        ->check(CLI::Range(std::int64_t{1}, maxThreads));
    command
        ->add_option("--keep-replaced", options->keepReplaced,
                     "Keep the files replaced by the last N runs in .morrowdeck/Replaced "
                     "(default: 3; 0 keeps none)")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{10000}));
    command->add_flag("--json", options->json,
                      "Print one JSON document with the final progress and the log at the end");
    command->add_flag("--dry-run", options->dryRun,
                      "Print what the backup would copy, per crate, and whether it fits; "
                      "write nothing");
    command->add_flag("--allow-partial", options->allowPartial,
                      "Start even when the files to copy exceed the destination's free space");
    command->callback([options, &status] { status = runBackup(*options); });
}

}  // namespace morrowdeck::cli
