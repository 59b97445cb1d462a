#include "cli/master_database_summary.h"

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>

#include "engine/backup_layout.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

using Json = nlohmann::ordered_json;
using Container = MasterDatabase::Container;

std::string typeName(std::int64_t type) {
    if (type == Container::crateType) return "crate";
    if (type == Container::smartCrateType) return "smartCrate";
    return std::to_string(type);
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// One crate and, below it, its children; `names` gives a volume's path by id.
Json describe(const Container& crate, const std::map<std::int64_t, std::string>& names,
              std::size_t depth, std::ostringstream& lines) {
    Json tracks = Json::array();
    std::ostringstream counts;
    for (const auto& [volume, count] : crate.countsByVolume()) {
        tracks.push_back(Json{{"volume", volume}, {"tracks", count}});
        const auto name = names.find(volume);
        counts << (tracks.size() == 1 ? " — " : ", ") << plural(count, "track", "tracks") << " on "
               << (name != names.end() ? name->second : "volume " + std::to_string(volume));
    }
    lines << std::string(2 * (depth + 1), ' ') << crate.name;
    if (crate.type == Container::smartCrateType) lines << " (smart crate)";
    if (crate.type != Container::smartCrateType && crate.type != Container::crateType)
        lines << " (type " << crate.type << ')';
    lines << counts.str() << '\n';
    Json children = Json::array();
    for (const auto& child : crate.children)
        children.push_back(describe(child, names, depth + 1, lines));
    Json out{{"id", crate.id}, {"name", crate.name}, {"type", typeName(crate.type)},
             {"tracks", std::move(tracks)}};
    if (crate.rules) out["rules"] = *crate.rules;
    out["children"] = std::move(children);
    return out;
}

}  // namespace

void describeMasterDatabase(const MasterDatabase& database, Json& document, std::string& summary) {
    std::ostringstream lines;
    std::map<std::int64_t, std::string> names;
    Json volumes = Json::array();
    lines << "Volumes: " << database.volumes.size() << '\n';
    for (const auto& volume : database.volumes) {
        names.emplace(volume.id, volume.path);
        volumes.push_back(Json{{"id", volume.id}, {"path", volume.path}, {"uuid", volume.uuid}});
        lines << "  " << volume.path << '\n';
    }
    Json crates = Json::array();
    lines << "Crates:\n";
    for (const auto& crate : database.containers)
        crates.push_back(describe(crate, names, 0, lines));
    lines << "Tracks: " << database.assetCount << '\n';
    for (const auto& warning : database.warnings) lines << "Warning: " << warning << '\n';
    document["volumes"] = std::move(volumes);
    document["crates"] = std::move(crates);
    document["assets"] = database.assetCount;
    document["warnings"] = database.warnings;
    summary += lines.str();
}

namespace {

struct Comparison {
    std::size_t agreeing = 0;  // crates in both whose lists are the same
    std::vector<std::string> differing;
};

void compare(const std::vector<Crate::Ptr>& crates, Comparison& into) {
    for (const auto& crate : crates) {
        if (crate->listsDiffer)
            into.differing.push_back(BackupLayout::joinComponents(crate->components));
        else if (crate->source == Crate::Source::both && crate->isLeaf())
            ++into.agreeing;
        compare(crate->children, into);
    }
}

// Nothing when the database's crates could not be merged with the library's files.
std::optional<Comparison> compareWith(const std::filesystem::path& library,
                                      const SeratoLibrary::LoadOptions& options) {
    const auto loaded = SeratoLibrary::load(library, options);
    if (!loaded.databaseRead) return std::nullopt;
    Comparison comparison;
    compare(loaded.forest, comparison);
    return comparison;
}

// A backup saves the database's list in place of a differing crate file and keeps the file as
// it was in a folder of its own: each file there names a crate that differed when it was saved.
void addSavedVersions(const std::filesystem::path& metadata, Comparison& into) {
    std::error_code error;
    std::vector<std::string> found;
    for (std::filesystem::directory_iterator it(metadata / BackupLayout::crateFileVersionsFolder,
                                                error),
         end;
         !error && it != end; it.increment(error)) {
        const auto name = it->path().filename();
        if (name.extension() != ".crate") continue;
        const auto components = SeratoLibrary::nameComponents(platform::toUtf8(name.stem()));
        if (components.empty()) continue;
        found.push_back(BackupLayout::joinComponents(components));
    }
    std::sort(found.begin(), found.end());
    for (auto& path : found)
        if (std::find(into.differing.begin(), into.differing.end(), path) == into.differing.end())
            into.differing.push_back(std::move(path));
}

}  // namespace

void describeDifferingCrates(const std::filesystem::path& file, const MasterDatabase& database,
                             Json& document, std::string& summary) {
    std::optional<std::filesystem::path> library;
    std::optional<Comparison> best;
    SeratoLibrary::LoadOptions options;
    options.masterDatabase = file;
    const auto folder = file.parent_path();
    if (folder.filename() == BackupLayout::metadataFolder) {
        // A backup does not record which volume its library was on: the volume whose lists
        // agree with most of the saved crate files is taken for it.
        library = folder;
        for (const auto& volume : database.volumes) {
            std::string prefix = volume.path;
            while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
            options.volumePrefix = prefix;
            auto comparison = compareWith(folder, options);
            if (comparison && (!best || comparison->agreeing > best->agreeing))
                best = std::move(comparison);
        }
        // The versions the backup kept apart are named even when no volume could be compared.
        Comparison saved;
        if (!best) addSavedVersions(folder, saved);
        if (!best && !saved.differing.empty()) best = std::move(saved);
        else if (best) addSavedVersions(folder, *best);
    } else {
        library = SeratoLibrary::resolveLibrary(SeratoLibrary::defaultLibraryLocation());
        if (library) best = compareWith(*library, options);
    }
    if (!best) return;
    std::ostringstream lines;
    lines << "Crates whose database and file versions differ (compared with "
          << platform::toUtf8(*library) << "):" << (best->differing.empty() ? " none" : "") << '\n';
    for (const auto& path : best->differing) lines << "  " << path << '\n';
    document["differingCrates"] =
        Json{{"comparedWith", platform::toUtf8(*library)}, {"crates", best->differing}};
    summary += lines.str();
}

}  // namespace morrowdeck::cli
