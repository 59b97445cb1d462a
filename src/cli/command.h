#pragma once

#include <CLI/CLI.hpp>

namespace morrowdeck::cli {

// Exit statuses shared by every subcommand.
enum ExitStatus : int {
    exitOk = 0,
    exitFailures = 1,  // finished, but some files failed or were missing
    exitUsage = 2,     // bad arguments or a failed start check
    exitCancelled = 130,
};

// How much the plain-text output says, from the global -q/--quiet and -v/--verbose options:
// only warnings and errors, the usual lines, or also a line per file. --json never changes.
// Set while the command line is parsed, before any subcommand runs.
enum class Verbosity { quiet, normal, verbose };
inline Verbosity verbosity = Verbosity::normal;

// Each subcommand registers itself on the application; its callback stores the exit status
// in `status`, which outlives the parse.
void registerCratesCommand(CLI::App& app, int& status);
void registerBackupCommand(CLI::App& app, int& status);
void registerInspectCommand(CLI::App& app, int& status);
void registerRestoreCommand(CLI::App& app, int& status);
void registerApplyCommand(CLI::App& app, int& status);
void registerTagsCommand(CLI::App& app, int& status);
void registerLibrariesCommand(CLI::App& app, int& status);
void registerVerifyCommand(CLI::App& app, int& status);

}  // namespace morrowdeck::cli
