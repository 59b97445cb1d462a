// `morrowdeck-cli restore`: restores a backup folder into an audio folder and a Serato library.
#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/engine_session.h"
#include "cli/json_output.h"
#include "cli/preview_output.h"
#include "engine/serato_error.h"
#include "library/serato_library.h"
#include "platform/mount_table.h"
#include "platform/path_text.h"
#include "restore/existing_files.h"
#include "restore/member_targets.h"
#include "restore/restore_engine.h"
#include "restore/restore_status.h"
#include "restore/serato_database_restore.h"

namespace morrowdeck::cli {

namespace {

// More workers than this only exhaust the process's threads; no disk gains from them.
constexpr std::int64_t maxThreads = 256;

struct RestoreCommandOptions {
    std::string from;
    std::string audioTo;
    std::string serato;
    bool keepExisting = false;
    std::string existing;  // empty: the layout's default
    std::vector<std::string> crates;
    bool noRebuild = false;
    std::int64_t threads = 16;
    bool json = false;
    bool dryRun = false;
    bool seratoDatabase = false;
    std::string database;
    std::vector<std::string> volumeMaps;
    std::string layout = "crates";
    std::vector<std::string> maps;  // NAME=DIR, for --layout original
};

bool asItWas(const RestoreCommandOptions& options) { return options.layout == "original"; }

// The backup's libraries with their targets, for --layout original; absent with a usage error
// in `error` when a mapping is malformed or names no library of the backup.
std::optional<std::vector<MemberTarget>> memberTargets(const RestoreCommandOptions& options,
                                                       const std::filesystem::path& backup,
                                                       std::string& error) {
    std::map<std::string, std::filesystem::path> maps;
    for (const auto& text : options.maps) {
        const auto mapping = MemberTargets::parseMapping(text);
        if (!mapping) {
            error = "--map " + text + ": give it as NAME=FOLDER.";
            return std::nullopt;
        }
        if (!maps.emplace(mapping->first, std::filesystem::absolute(platform::toPath(mapping->second)))
                 .second) {
            error = "--map names " + mapping->first + " twice.";
            return std::nullopt;
        }
    }
    const auto catalog = BackupCatalog::read(backup);
    if (!catalog) {
        error = SeratoError::noOriginalPaths(platform::toUtf8(backup)).description();
        return std::nullopt;
    }
    const auto members = MemberTargets::membersOf(*catalog);
    for (const auto& mapping : maps)
        if (std::none_of(members.begin(), members.end(),
                         [&](const auto& member) { return member.name == mapping.first; })) {
            error = "--map names " + mapping.first + ", which is no library of this backup.";
            return std::nullopt;
        }
    return MemberTargets::resolve(*catalog, maps, platform::readMountTable(),
                                  SeratoLibrary::defaultLibraryLocation());
}

// The libraries and where each goes back to, one line each, for the dry run.
void printTargets(std::ostream& out, const std::vector<MemberTarget>& targets) {
    out << "Libraries:\n";
    for (const auto& target : targets) {
        out << "  " << target.name << " \u2192 ";
        if (target.found == MemberTarget::Found::none)
            out << "not connected";
        else
            out << platform::toUtf8(target.root) << " (" << MemberTargets::foundText(target.found)
                << "; Serato folder " << platform::toUtf8(target.serato) << ")";
        out << ", " << target.files << (target.files == 1 ? " file\n" : " files\n");
    }
}

nlohmann::ordered_json targetsJson(const std::vector<MemberTarget>& targets) {
    nlohmann::ordered_json members = nlohmann::ordered_json::array();
    for (const auto& target : targets)
        members.push_back({{"name", target.name},
                           {"target", platform::toUtf8(target.root)},
                           {"serato", platform::toUtf8(target.serato)},
                           {"found", MemberTargets::foundText(target.found)},
                           {"files", target.files}});
    return members;
}

// The request for --serato-database, or a usage error in `error`.
std::optional<SeratoDatabaseRestore::Request> databaseRequest(const RestoreCommandOptions& options,
                                                              std::string& error) {
    SeratoDatabaseRestore::Request request;
    if (!options.database.empty())
        request.database = std::filesystem::absolute(platform::toPath(options.database));
    for (const auto& text : options.volumeMaps) {
        auto mapping = SeratoDatabaseRestore::parseMapping(text, error);
        if (!mapping) return std::nullopt;
        if (!request.volumeMap.insert(*mapping).second) {
            error = "--map-volume names " + mapping->first + " twice.";
            return std::nullopt;
        }
    }
    return request;
}

// What to do with files already at the target: --existing, or --keep-existing as its `keep`;
// a usage error in `error` when the two disagree.
std::optional<ExistingFiles> existingChoice(const RestoreCommandOptions& options,
                                            std::string& error) {
    std::optional<ExistingFiles> chosen;
    if (!options.existing.empty()) chosen = existingFilesFromRaw(options.existing);
    if (options.keepExisting) {
        if (chosen && *chosen != ExistingFiles::keep) {
            error = "--keep-existing and --existing " + options.existing + " disagree.";
            return std::nullopt;
        }
        chosen = ExistingFiles::keep;
    }
    // A folder per crate: the backup's files win. As it was: the drive's own files win, as
    // Serato writes cues and beat grids into them after the backup.
    return chosen.value_or(asItWas(options) ? ExistingFiles::keep : ExistingFiles::replace);
}

int runRestore(const RestoreCommandOptions& options) {
    const std::filesystem::path serato =
        options.serato.empty() ? SeratoLibrary::defaultLibraryLocation()
                               : std::filesystem::absolute(platform::toPath(options.serato));
    const bool rebuild = !options.noRebuild;
    std::string usage;
    const auto existing = existingChoice(options, usage);
    if (!existing) {
        std::cerr << usage << '\n';
        return exitUsage;
    }
    std::optional<SeratoDatabaseRestore::Request> database;
    if (options.seratoDatabase) {
        std::string error;
        database = databaseRequest(options, error);
        if (!database) {
            std::cerr << "--map-volume: " << error << '\n';
            return exitUsage;
        }
    }
    if (asItWas(options) && (!options.audioTo.empty() || !options.serato.empty())) {
        std::cerr << "--layout original puts every library back where it was: --audio-to and "
                     "--serato do not apply (use --map NAME=FOLDER).\n";
        return exitUsage;
    }
    if (!asItWas(options) && !options.maps.empty()) {
        std::cerr << "--map applies to --layout original.\n";
        return exitUsage;
    }
    if (!asItWas(options) && options.audioTo.empty()) {
        std::cerr << "--audio-to is required with --layout crates.\n";
        return exitUsage;
    }
    const auto backup = std::filesystem::absolute(platform::toPath(options.from));
    const auto audioTarget = options.audioTo.empty()
                                 ? std::filesystem::path()
                                 : std::filesystem::absolute(platform::toPath(options.audioTo));
    std::vector<MemberTarget> targets;
    if (asItWas(options)) {
        auto resolved = memberTargets(options, backup, usage);
        if (!resolved) {
            std::cerr << usage << '\n';
            return exitUsage;
        }
        targets = std::move(*resolved);
        if (options.dryRun && !options.json) printTargets(std::cout, targets);
        for (const auto& target : targets)
            if (target.found == MemberTarget::Found::none) {
                std::cerr << SeratoError::noTarget(target.name).description() << '\n';
                return exitUsage;
            }
    }
    if (options.dryRun) {
        RestoreEngine engine(std::make_shared<DrainedMainQueue>());
        engine.setCrates(options.crates);
        engine.setTargets(targets);
        try {
            const RunPreview preview = engine.preview(
                std::filesystem::absolute(platform::toPath(options.from)),
                audioTarget, serato, *existing);
            nlohmann::ordered_json members = nlohmann::ordered_json::object();
            if (!targets.empty()) members["members"] = targetsJson(targets);
            // A restore has no fit check of its own: the free space is for information.
            if (!database) return printPreview(std::cout, preview, options.json, false, members);
            const auto plan = SeratoDatabaseRestore::plan(
                std::filesystem::absolute(platform::toPath(options.from)), *database);
            nlohmann::ordered_json mapped = nlohmann::ordered_json::array();
            for (const auto& [from, to] : plan.mapped)
                mapped.push_back({{"from", from}, {"to", to}});
            nlohmann::ordered_json extra = members;
            extra["seratoDatabase"] = {{"database", platform::toUtf8(plan.database)},
                                       {"savedCopy", platform::toUtf8(plan.savedCopy)},
                                       {"putBack", !plan.refused()},
                                       {"refusal", plan.refusal},
                                       {"mapped", std::move(mapped)},
                                       {"unusedMappings", plan.unusedMappings}};
            const int status = printPreview(std::cout, preview, options.json, false, extra);
            if (!options.json) std::cout << plan.description() << '\n';
            // The run would count a refused database as a failed file.
            return plan.refused() && status == exitOk ? exitFailures : status;
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
    engine.setSeratoDatabase(database);
    engine.setCrates(options.crates);
    engine.setTargets(targets);
    engine.run(std::filesystem::absolute(platform::toPath(options.from)),
               audioTarget, serato, *existing,
               rebuild, session.onLog(), session.onProgress(), session.completion(),
               options.threads);
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
    command->add_option("--audio-to", options->audioTo,
                        "Where the audio is copied, one folder per crate (--layout crates)");
    command
        ->add_option("--layout", options->layout,
                     "crates: the audio into one folder per crate below --audio-to; original: "
                     "every library back where it was, its tracks at their own paths on its "
                     "drive and its _Serato_ folder there (default: crates)")
        ->check(CLI::IsMember({"crates", "original"}));
    command->add_option("--map", options->maps,
                        "NAME=FOLDER: with --layout original, restore the library NAME (as "
                        "'inspect' lists it) below FOLDER instead of its drive (repeatable)");
    command->add_option(
        "--serato", options->serato,
        "The _Serato_ folder or its parent, created when missing (default: ~/Music/_Serato_)");
    std::vector<std::string> existingWords;
    for (const auto existing : allExistingFiles)
        existingWords.emplace_back(rawValue(existing));
    command
        ->add_option("--existing", options->existing,
                     "What happens to an audio file already at the target: keep it, replace it, "
                     "replace it only if-newer, or keep-both (the restored file is written as "
                     "\"NAME (restored).ext\") (default: replace; keep with --layout original)")
        ->check(CLI::IsMember(existingWords));
    command->add_flag("--keep-existing", options->keepExisting,
                      "Leave files that already exist untouched (--existing keep)");
    command->add_option("--crate", options->crates,
                        "Restore only this crate and the crates below it, named by its path such "
                        "as Genres/House; may repeat (default: every crate)");
    command->add_flag("--no-rebuild", options->noRebuild, "Do not write a new database V2");
    command->add_option("--threads", options->threads, "Copies at the same time (default: 16)")
        ->check(CLI::Range(std::int64_t{1}, maxThreads));
    command->add_flag("--json", options->json,
                      "Print one JSON document with the final progress and the log");
    command->add_flag("--dry-run", options->dryRun,
                      "Print what the restore would copy, per crate; write nothing");
    auto* seratoDatabase = command->add_flag(
        "--serato-database", options->seratoDatabase,
        "Also put back the backup's copy of Serato's master.sqlite, only where none exists and "
        "only when each of its volume paths is a folder here or is mapped");
    command
        ->add_option("--database", options->database,
                     "Where --serato-database puts it (default: the home folder's Serato "
                     "database)")
        ->needs(seratoDatabase);
    command
        ->add_option("--map-volume", options->volumeMaps,
                     "OLD=NEW: in the database put back, the volume path OLD becomes the folder "
                     "NEW (repeatable)")
        ->needs(seratoDatabase);
    command->callback([options, &status] { status = runRestore(*options); });
}

}  // namespace morrowdeck::cli
