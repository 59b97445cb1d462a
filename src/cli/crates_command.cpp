// `morrowdeck-cli crates`: prints the crate forest of a Serato library, or of several as one.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/library_location.h"
#include "library/library_member.h"
#include "library/merged_forest.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

struct CratesOptions {
    std::vector<std::string> libraries;
    bool all = false;  // the home library and every drive's, with any --library besides
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

// `merged` (several members) adds each track's member index.
nlohmann::ordered_json crateJson(const Crate& crate, const MergedForest* merged) {
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    for (const auto& child : crate.children)
        children.push_back(crateJson(*child, merged));
    nlohmann::ordered_json json = {
        {"name", crate.name},
        {"components", crate.components},
        {"crateFile", crate.crateFileURL
                          ? nlohmann::ordered_json(platform::toUtf8(*crate.crateFileURL))
                          : nlohmann::ordered_json(nullptr)},
        {"isSmart", crate.isSmart},
        {"source", sourceName(crate.source)},
        {"tracks", crate.tracks},
    };
    if (merged) json["trackMembers"] = merged->membersOf(crate);
    json["children"] = std::move(children);
    return json;
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

void printCounts(const std::vector<Crate::Ptr>& forest) {
    std::size_t database = 0, files = 0;
    countOnlyInOne(forest, database, files);
    std::cout << crateCount(database) << " only in Serato's database, " << crateCount(files)
              << " only as crate files.\n";
}

nlohmann::ordered_json forestJson(const std::vector<Crate::Ptr>& forest,
                                  const MergedForest* merged) {
    nlohmann::ordered_json crates = nlohmann::ordered_json::array();
    for (const auto& crate : forest)
        crates.push_back(crateJson(*crate, merged));
    return crates;
}

int runOne(const std::filesystem::path& library, bool json) {
    std::vector<std::string> warnings;
    const auto loaded = SeratoLibrary::load(library, {}, &warnings);
    const auto& forest = loaded.forest;
    for (const auto& warning : warnings)
        std::cerr << "warning: " << warning << '\n';
    if (json) {
        printJson(std::cout, {{"library", platform::toUtf8(library)},
                              {"volumePrefix", SeratoLibrary::volumeMountPrefix(library)},
                              {"crates", forestJson(forest, nullptr)}});
    } else {
        std::cout << "Library: " << platform::toUtf8(library) << '\n';
        printTree(std::cout, forest, 0);
        if (loaded.databaseRead) printCounts(forest);
    }
    return exitOk;
}

// Several members: each loaded against its own volume, their crates merged by path.
int runMembers(const std::vector<LibraryMember>& members, bool json) {
    std::vector<std::string> warnings;
    bool databaseRead = false;
    const MergedForest merged = MergedForest::load(members, false, &warnings, &databaseRead);
    for (const auto& warning : warnings)
        std::cerr << "warning: " << warning << '\n';
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& member : members)
            list.push_back({{"name", member.name},
                            {"library", platform::toUtf8(member.library)},
                            {"volumePrefix", member.volumePrefix},
                            {"label", member.label},
                            {"uuid", member.uuid}});
        printJson(std::cout, {{"members", std::move(list)},
                              {"crates", forestJson(merged.forest, &merged)}});
    } else {
        std::cout << "Libraries:\n";
        for (const auto& member : members)
            std::cout << "  " << member.name << " \u2192 " << platform::toUtf8(member.library)
                      << '\n';
        printTree(std::cout, merged.forest, 0);
        if (databaseRead) printCounts(merged.forest);
    }
    return exitOk;
}

int runCrates(const CratesOptions& options) {
    std::string error;
    const auto libraries = resolveLibraries(options.libraries, options.all, error);
    if (!libraries) {
        std::cerr << error << '\n';
        return exitUsage;
    }
    const auto members =
        LibraryMembers::describe(*libraries, SeratoLibrary::defaultLibraryLocation());
    if (members.size() == 1) return runOne(members.front().library, options.json);
    return runMembers(members, options.json);
}

}  // namespace

void registerCratesCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<CratesOptions>();
    CLI::App* command =
        app.add_subcommand("crates", "List the crates of a Serato library as a tree");
    command->add_option("--library", options->libraries,
                        "The _Serato_ folder or its parent (default: ~/Music/_Serato_); "
                        "repeat it for a library that spans drives");
    command->add_flag("--all", options->all,
                      "The home library and the _Serato_ folder of every mounted drive, as one");
    command->add_flag("--json", options->json, "Print one JSON document instead of the tree");
    command->callback([options, &status] { status = runCrates(*options); });
}

}  // namespace morrowdeck::cli
