// `morrowdeck-cli libraries`: the Serato libraries of this computer and its mounted drives.
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/json_output.h"
#include "library/library_finder.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

struct LibrariesOptions {
    std::string mountTable;  // tests: a mount table file to read instead of the system's
    bool json = false;
};

int runLibraries(const LibrariesOptions& options) {
    auto places = LibraryFinder::Places::system();
    if (!options.mountTable.empty()) places.mountTable = platform::toPath(options.mountTable);
    const auto libraries = LibraryFinder::find(places);
    for (const auto& found : libraries)
        for (const auto& warning : found.warnings)
            std::cerr << "warning: " << warning << '\n';
    if (options.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& found : libraries) {
            list.push_back({{"library", platform::toUtf8(found.folder)},
                            {"drive", found.drive},
                            {"mountPoint", platform::toUtf8(found.mountPoint)},
                            {"fileSystem", found.fileSystem},
                            {"onDrive", found.onDrive},
                            {"hardLinks", found.hardLinks},
                            {"crates", found.crates},
                            {"tracks", found.tracks}});
        }
        printJson(std::cout, {{"libraries", std::move(list)}});
        return exitOk;
    }
    if (libraries.empty()) std::cout << "No Serato library found.\n";
    for (const auto& found : libraries) {
        std::cout << platform::toUtf8(found.folder) << '\n'
                  << "  " << found.crates << (found.crates == 1 ? " crate, " : " crates, ")
                  << found.tracks << (found.tracks == 1 ? " track" : " tracks") << " \u2022 "
                  << (found.drive.empty() ? std::string("unknown drive") : found.drive);
        if (!found.fileSystem.empty()) std::cout << " (" << found.fileSystem << ')';
        std::cout << '\n';
        if (!found.hardLinks) std::cout << "  no hard links: --dedup falls back to copies\n";
    }
    return exitOk;
}

}  // namespace

void registerLibrariesCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<LibrariesOptions>();
    CLI::App* command = app.add_subcommand(
        "libraries", "List the Serato libraries in ~/Music and at the root of the mounted drives");
    command->add_option("--mount-table", options->mountTable)->group("");
    command->add_flag("--json", options->json, "Print one JSON document instead of a list");
    command->callback([options, &status] { status = runLibraries(*options); });
}

}  // namespace morrowdeck::cli
