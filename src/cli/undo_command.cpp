// `morrowdeck-cli undo`: puts a Serato library back as it was before a restore or apply, or
// lists the runs that can be undone.
#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/library_location.h"
#include "library/formatting.h"
#include "library/serato_library.h"
#include "platform/path_text.h"
#include "restore/undo_runner.h"

namespace morrowdeck::cli {

namespace {

struct UndoOptions {
    std::string serato;
    std::string run;
    std::string processTable = "/proc";
    bool list = false;
    bool force = false;
    bool json = false;
};

// A run's start as "2026-12-08 05:35" in local time, or as UTC "2026-12-08T04:35:12Z".
std::string dateText(std::int64_t nanosecondsSince1970, bool utc) {
    const std::time_t seconds = static_cast<std::time_t>(nanosecondsSince1970 / 1'000'000'000);
    std::tm time{};
    utc ? ::gmtime_r(&seconds, &time) : ::localtime_r(&seconds, &time);
    char text[32] = {};
    std::strftime(text, sizeof text, utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d %H:%M", &time);
    return text;
}

int listRuns(const UndoRunner& runner, bool json) {
    const auto runs = runner.runs();
    std::int64_t total = 0;
    for (const auto& run : runs) total += run.bytes;
    const auto kindName = [](UndoIndex::Kind kind) {
        return kind == UndoIndex::Kind::restore ? "restore" : "apply";
    };
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& run : runs)
            list.push_back({{"id", run.id},
                            {"date", dateText(run.startedNs, true)},
                            {"kind", kindName(run.kind)},
                            {"files", run.files},
                            {"bytes", run.bytes},
                            {"undone", run.undone}});
        printJson(std::cout, {{"runs", std::move(list)}, {"totalBytes", total}});
        return exitOk;
    }
    // Newest first: the run an undo without --run takes is near the top.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        std::cout << run->id << "  " << dateText(run->startedNs, false) << "  "
                  << kindName(run->kind) << "  " << run->files << " file(s)  "
                  << text::formatByteCount(static_cast<std::uint64_t>(run->bytes))
                  << (run->undone ? "  undone" : "") << '\n';
    }
    std::cout << runs.size() << " saved run(s), "
              << text::formatByteCount(static_cast<std::uint64_t>(total)) << " in total.\n";
    return exitOk;
}

int runUndo(const UndoOptions& options) {
    const auto serato = resolveLibraryOption(options.serato);
    if (!serato) {
        std::cerr << noLibraryMessage << '\n';
        return exitUsage;
    }
    UndoRunner runner(*serato);
    runner.setProcessTable(platform::toPath(options.processTable));
    if (options.list) return listRuns(runner, options.json);

    const UndoRunner::Outcome outcome = runner.undo(options.run, options.force);
    const int status = outcome.refused ? exitUsage : outcome.failed > 0 ? exitFailures : exitOk;
    if (options.json) {
        printJson(std::cout, {{"run", outcome.runId},
                              {"refused", outcome.refused},
                              {"putBack", outcome.putBack},
                              {"removed", outcome.removed},
                              {"kept", outcome.kept},
                              {"failed", outcome.failed},
                              {"changed", outcome.changed},
                              {"message", outcome.message}});
        return status;
    }
    // A refused undo changed nothing: its reasons go where usage errors go.
    std::ostream& out = outcome.refused ? std::cerr : std::cout;
    for (const auto& line : outcome.lines) {
        const bool shown = line.level == LogEntry::Level::warning ||
                           line.level == LogEntry::Level::error || verbosity == Verbosity::verbose;
        if (shown) out << levelName(line.level) << ": " << line.message << '\n';
    }
    if (outcome.refused) {
        std::cerr << outcome.message << '\n';
        if (!outcome.changed.empty())
            std::cerr << "Run again with --force to put them back anyway.\n";
    } else if (outcome.failed > 0 || verbosity != Verbosity::quiet) {
        std::cout << (outcome.failed > 0 ? "error: " : "success: ") << outcome.message << '\n';
    }
    return status;
}

}  // namespace

void registerUndoCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<UndoOptions>();
    CLI::App* command = app.add_subcommand(
        "undo", "Put a Serato library back as it was before a restore or apply");
    command->add_option("--serato", options->serato,
                        "The _Serato_ folder or its parent (default: ~/Music/_Serato_)");
    auto* list = command->add_flag("--list", options->list,
                                   "List the saved runs and the space they take");
    command->add_option("--run", options->run, "The run to undo (default: the newest not undone)")
        ->excludes(list);
    command
        ->add_flag("--force", options->force,
                   "Also put back or remove files that changed since the run")
        ->excludes(list);
    command->add_flag("--json", options->json, "Print one JSON document");
    // Hidden: where to look for a running Serato, so that tests can fake one.
    command->add_option("--process-table", options->processTable)->group("");
    command->callback([options, &status] { status = runUndo(*options); });
}

}  // namespace morrowdeck::cli
