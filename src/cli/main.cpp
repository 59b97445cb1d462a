// morrowdeck-cli: the command-line front end over the same engines as the desktop app.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "cli/command.h"
#include "platform/broken_pipe.h"
#include "morrowdeck_version.h"

int main(int argc, char** argv) {
    // A reader that goes away (`| head`) must not end a backup halfway: writes to the closed
    // stream then fail with EPIPE, the streams stop printing and the exit status still tells
    // the run's outcome.
    morrowdeck::platform::ignoreBrokenPipe();
    CLI::App app{"Morrowdeck: back up and restore Serato DJ libraries", "morrowdeck-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("morrowdeck-cli ") + morrowdeck::version,
                         "Print the version and exit");
    // The global options are accepted after the subcommand too.
    app.fallthrough();
    using morrowdeck::cli::Verbosity;
    app.add_flag_callback(
        "-q,--quiet", [] { morrowdeck::cli::verbosity = Verbosity::quiet; },
        "Print only warnings and errors (not with --json)");
    // Runs after the -q callback, so it sees both.
    app.add_flag_callback(
        "-v,--verbose",
        [] {
            if (morrowdeck::cli::verbosity == Verbosity::quiet)
                throw CLI::ValidationError("-q and -v cannot be used together");
            morrowdeck::cli::verbosity = Verbosity::verbose;
        },
        "Also print a line for every file (not with --json)");
    int status = morrowdeck::cli::exitOk;
    morrowdeck::cli::registerCratesCommand(app, status);
    morrowdeck::cli::registerBackupCommand(app, status);
    morrowdeck::cli::registerInspectCommand(app, status);
    morrowdeck::cli::registerRestoreCommand(app, status);
    morrowdeck::cli::registerApplyCommand(app, status);
    morrowdeck::cli::registerTagsCommand(app, status);
    morrowdeck::cli::registerLibrariesCommand(app, status);
    morrowdeck::cli::registerVerifyCommand(app, status);
    morrowdeck::cli::registerUndoCommand(app, status);
    // Added last, so that the subcommands do not inherit it.
    app.set_help_all_flag("--help-all", "Print the help of every subcommand and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        // --help exits 0; every other parse problem is a usage error.
        return code == 0 ? 0 : morrowdeck::cli::exitUsage;
    } catch (const std::exception& error) {
        // For example the working folder vanished: a one-line reason, not an abort.
        std::cerr << "morrowdeck-cli: " << error.what() << '\n';
        return morrowdeck::cli::exitUsage;
    }
    return status;
}
