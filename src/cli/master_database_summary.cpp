#include "cli/master_database_summary.h"

#include <map>
#include <sstream>

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

}  // namespace morrowdeck::cli
