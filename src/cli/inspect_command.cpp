// `morrowdeck-cli inspect`: tells what a Serato or Morrowdeck file holds.
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/file_inspector.h"
#include "cli/json_output.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

struct InspectOptions {
    std::string file;
    bool json = false;
};

int runInspect(const InspectOptions& options) {
    const auto inspection = inspectFile(platform::toPath(options.file));
    if (!inspection) {
        std::cerr << options.file << ": not a readable Serato or Morrowdeck file.\n";
        return exitUsage;
    }
    if (options.json) {
        printJson(std::cout, inspection->document);
    } else {
        std::cout << inspection->summary;
    }
    return exitOk;
}

}  // namespace

void registerInspectCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<InspectOptions>();
    CLI::App* command = app.add_subcommand(
        "inspect",
        "Tell what a crate, database V2, snapshot, crate order, SQLite or metadata file "
        "holds, or which replaced files a backup folder keeps");
    command->add_option("FILE", options->file, "The file or backup folder to inspect")->required();
    command->add_flag("--json", options->json, "Print one JSON document instead of a summary");
    command->callback([options, &status] { status = runInspect(*options); });
}

}  // namespace morrowdeck::cli
