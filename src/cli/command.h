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

// Each subcommand registers itself on the application; its callback stores the exit status
// in `status`, which outlives the parse.
void registerCratesCommand(CLI::App& app, int& status);
void registerBackupCommand(CLI::App& app, int& status);
void registerInspectCommand(CLI::App& app, int& status);
void registerRestoreCommand(CLI::App& app, int& status);
void registerApplyCommand(CLI::App& app, int& status);
void registerTagsCommand(CLI::App& app, int& status);
void registerVerifyCommand(CLI::App& app, int& status);

}  // namespace morrowdeck::cli
