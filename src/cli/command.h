#pragma once

#include <CLI/CLI.hpp>

#include "engine/run_outcome.h"

namespace morrowdeck::cli {

// Exit statuses shared by every subcommand; a finished run's come from its RunOutcome.
enum ExitStatus : int {
    exitOk = RunOutcome::exitOk,
    exitFailures = RunOutcome::exitProblems,  // finished, but some files failed or were missing
    exitUsage = 2,                            // bad arguments or a failed start check
    exitCancelled = RunOutcome::exitCancelled,
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
void registerUndoCommand(CLI::App& app, int& status);

}  // namespace morrowdeck::cli
