#include "library/database_crates.h"

#include <algorithm>
#include <set>

#include "library/crate_parser.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/path_text.h"

namespace morrowdeck::DatabaseCrates {

namespace {

using Container = MasterDatabase::Container;

// A mount point as compared: canonically composed, without trailing slashes ("/" gives "").
std::string mountKey(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    return text::nfcKey(path);
}

class Inserter {
  public:
    Inserter(TreeBuilder& builder, std::set<std::int64_t> volumes, std::string_view prefix)
        : builder_(builder), volumes_(std::move(volumes)), prefix_(prefix),
          rootVolume_(prefix.empty()) {}

    // Inserts the container when it or a descendant belongs to the library; true when so.
    bool visit(const Container& container, std::vector<std::string>& path) {
        const std::string name = text::trimSeparators(container.name);
        if (!name.empty()) path.push_back(name);
        const bool known = container.type == Container::crateType ||
                           container.type == Container::smartCrateType;
        if (!known) unknownTypes.insert(container.type);

        std::vector<std::string> tracks;
        for (const auto& entry : container.entries)
            if (volumes_.contains(entry.volumeId))
                tracks.push_back(CrateParser::absolutePath(entry.portableId, prefix_));
        bool belongs = known && (!tracks.empty() || (rootVolume_ && container.entries.empty()));
        for (const auto& child : container.children)
            belongs = visit(child, path) || belongs;

        if (known && belongs && !path.empty()) {
            const bool isSmart = container.type == Container::smartCrateType;
            std::vector<std::string> components;
            if (isSmart) components.emplace_back(SeratoLibrary::smartCratesGroup);
            components.insert(components.end(), path.begin(), path.end());
            builder_.insertFromDatabase(components, container.id, isSmart, std::move(tracks));
        }
        if (!name.empty()) path.pop_back();
        return belongs;
    }

    std::set<std::int64_t> unknownTypes;

  private:
    TreeBuilder& builder_;
    std::set<std::int64_t> volumes_;
    std::string_view prefix_;
    bool rootVolume_;
};

}  // namespace

bool insert(TreeBuilder& builder, const MasterDatabase& database, const std::filesystem::path& file,
            std::string_view volumePrefix, std::vector<std::string>* warnings) {
    const auto warn = [&](const std::string& what) {
        if (warnings != nullptr)
            warnings->push_back("Serato's database " + platform::toUtf8(file) + " " + what);
    };
    if (warnings != nullptr)
        warnings->insert(warnings->end(), database.warnings.begin(), database.warnings.end());
    if (!database.opened || database.partial) {
        // One line for the problem and what it means for the tree.
        static constexpr std::string_view consequence =
            " Its crates were left out; the crate files are loaded alone.";
        if (warnings != nullptr && !database.warnings.empty())
            warnings->back() += consequence;
        else
            warn("could not be read whole." + std::string(consequence));
        return false;
    }
    if (!database.unknownCrateColumns.empty()) {
        std::string columns;
        for (const auto& column : database.unknownCrateColumns)
            columns += (columns.empty() ? "" : ", ") + column;
        warn("comes from a newer Serato: its crate tables have columns this program does not "
             "know (" + columns + "); its crates were read from the columns it knows.");
    }
    if (database.containers.empty()) return true;

    const std::string library = mountKey(volumePrefix);
    std::set<std::int64_t> volumes;
    for (const auto& volume : database.volumes)
        if (!volume.path.empty() && mountKey(volume.path) == library) volumes.insert(volume.id);
    if (volumes.empty()) {
        warn("lists no volume mounted at " + (volumePrefix.empty() ? "/" : std::string(volumePrefix)) +
             ", where the library is; its crates were left out and the crate files are loaded "
             "alone.");
        return false;
    }

    Inserter inserter(builder, std::move(volumes), volumePrefix);
    std::vector<std::string> path;
    for (const auto& container : database.containers) inserter.visit(container, path);
    if (!inserter.unknownTypes.empty()) {
        std::string types;
        for (const auto type : inserter.unknownTypes)
            types += (types.empty() ? "" : ", ") + std::to_string(type);
        warn("holds crates of a kind this program does not know (type " + types +
             "); they were left out.");
    }
    return true;
}

}  // namespace morrowdeck::DatabaseCrates
