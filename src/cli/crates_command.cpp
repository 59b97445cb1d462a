// `morrowdeck-cli crates`: prints the crate forest of a Serato library.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/library_location.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

struct CratesOptions {
    std::string library;
    bool json = false;
};

const char* sourceName(Crate::Source source) {
    switch (source) {
        case Crate::Source::database:
            return "database";
        case Crate::Source::both:
            return "both";
        case Crate::Source::files:
            break;
    }
    return "files";
}

nlohmann::ordered_json crateJson(const Crate& crate) {
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    for (const auto& child : crate.children)
        children.push_back(crateJson(*child));
    return {
        {"name", crate.name},
        {"components", crate.components},
        {"crateFile", crate.crateFileURL
                          ? nlohmann::ordered_json(platform::toUtf8(*crate.crateFileURL))
                          : nlohmann::ordered_json(nullptr)},
        {"isSmart", crate.isSmart},
        {"source", sourceName(crate.source)},
        {"tracks", crate.tracks},
        {"children", std::move(children)},
    };
}

void printTree(std::ostream& out, const std::vector<Crate::Ptr>& crates, int depth) {
    for (const auto& crate : crates) {
        const std::size_t count =
            crate->children.empty() ? crate->tracks.size() : crate->totalTrackCount();
        out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << crate->name << "  ("
            << count << (count == 1 ? " track" : " tracks") << ')'
            << (crate->isSmart ? "  [smart]" : "") << '\n';
        printTree(out, crate->children, depth + 1);
    }
}

// Crates (not groups) read only from Serato's database, and only from crate files.
void countOnlyInOne(const std::vector<Crate::Ptr>& crates, std::size_t& database,
                    std::size_t& files) {
    for (const auto& crate : crates) {
        database += crate->databaseId && !crate->crateFileURL;
        files += crate->crateFileURL && !crate->databaseId;
        countOnlyInOne(crate->children, database, files);
    }
}

std::string crateCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " crate" : " crates");
}

int runCrates(const CratesOptions& options) {
    const auto library = resolveLibraryOption(options.library);
    if (!library) {
        std::cerr << noLibraryMessage << '\n';
        return exitUsage;
    }
    std::vector<std::string> warnings;
    const auto loaded = SeratoLibrary::load(*library, {}, &warnings);
    const auto& forest = loaded.forest;
    for (const auto& warning : warnings)
        std::cerr << "warning: " << warning << '\n';
    if (options.json) {
        nlohmann::ordered_json crates = nlohmann::ordered_json::array();
        for (const auto& crate : forest)
            crates.push_back(crateJson(*crate));
        printJson(std::cout, {{"library", platform::toUtf8(*library)},
                              {"volumePrefix", SeratoLibrary::volumeMountPrefix(*library)},
                              {"crates", std::move(crates)}});
    } else {
        std::cout << "Library: " << platform::toUtf8(*library) << '\n';
        printTree(std::cout, forest, 0);
        if (loaded.databaseRead) {
            std::size_t database = 0, files = 0;
            countOnlyInOne(forest, database, files);
            std::cout << crateCount(database) << " only in Serato's database, "
                      << crateCount(files) << " only as crate files.\n";
        }
    }
    return exitOk;
}

}  // namespace

void registerCratesCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<CratesOptions>();
    CLI::App* command =
        app.add_subcommand("crates", "List the crates of a Serato library as a tree");
    command->add_option("--library", options->library,
                        "The _Serato_ folder or its parent (default: ~/Music/_Serato_)");
    command->add_flag("--json", options->json, "Print one JSON document instead of the tree");
    command->callback([options, &status] { status = runCrates(*options); });
}

}  // namespace morrowdeck::cli
