#include "library/tree_builder.h"

#include <algorithm>
#include <iterator>

#include "library/name_order.h"
#include "library/unicode_text.h"

namespace morrowdeck {

namespace {

bool sameTracks(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && text::nfcKey(a[i]) != text::nfcKey(b[i])) return false;
    return true;
}

}  // namespace

TreeBuilder::Node* TreeBuilder::walk(const std::vector<std::string>& components,
                                     bool fromDatabase) {
    NodeMap* level = &rootChildren;
    Node* node = nullptr;
    for (std::size_t i = 0; i < components.size(); ++i) {
        auto& slot = level->children[text::nfcKey(components[i])];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = components[i];
            slot->components.assign(components.begin(),
                                    components.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
        node = slot.get();
        (fromDatabase ? node->fromDatabase : node->fromFiles) = true;
        level = &node->children;
    }
    return node;
}

void TreeBuilder::insert(const std::vector<std::string>& components,
                         const std::optional<std::filesystem::path>& crateFileURL, bool isSmart,
                         std::vector<std::string> tracks) {
    if (components.empty()) return;
    Node* node = walk(components, false);
    if (node->crateFileURL) {
        // A second file for the same crate: neither may swallow the other's tracks.
        if (crateFileURL) node->crateFiles.push_back(*crateFileURL);
        node->tracks.insert(node->tracks.end(), std::make_move_iterator(tracks.begin()),
                            std::make_move_iterator(tracks.end()));
        return;
    }
    node->crateFileURL = crateFileURL;
    if (crateFileURL) node->crateFiles.assign(1, *crateFileURL);
    node->isSmart = isSmart;
    node->tracks = std::move(tracks);
}

void TreeBuilder::insertFromDatabase(const std::vector<std::string>& components,
                                     std::int64_t containerId, bool isSmart,
                                     std::vector<std::string> tracks) {
    if (components.empty()) return;
    Node* node = walk(components, true);
    if (node->databaseId) {
        node->databaseTracks.insert(node->databaseTracks.end(),
                                    std::make_move_iterator(tracks.begin()),
                                    std::make_move_iterator(tracks.end()));
        return;
    }
    node->databaseId = containerId;
    node->databaseSmart = isSmart;
    node->databaseTracks = std::move(tracks);
}

// Where the crate was read from, and which list it shows.
void TreeBuilder::finish(Node& node, Crate& crate) {
    crate.crateFileURL = std::move(node.crateFileURL);
    crate.crateFiles = std::move(node.crateFiles);
    crate.isSmart = node.isSmart;
    crate.databaseId = node.databaseId;
    if (!node.databaseId) {
        crate.tracks = std::move(node.tracks);
        // A group takes the sources of the crates below it.
        if (!crate.crateFileURL && node.fromDatabase)
            crate.source = node.fromFiles ? Crate::Source::both : Crate::Source::database;
        return;
    }
    if (crate.crateFileURL) {
        crate.source = Crate::Source::both;
        crate.listsDiffer = !sameTracks(node.tracks, node.databaseTracks);
    } else {
        crate.source = Crate::Source::database;
        crate.isSmart = node.databaseSmart;
    }
    crate.tracks = std::move(node.databaseTracks);
}

std::vector<Crate::Ptr> TreeBuilder::convert(NodeMap& map) {
    std::vector<Node*> nodes;
    nodes.reserve(map.children.size());
    for (const auto& [key, node] : map.children)
        nodes.push_back(node.get());
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const Node* a, const Node* b) { return text::nameLess(a->name, b->name); });

    std::vector<Crate::Ptr> crates;
    crates.reserve(nodes.size());
    for (Node* node : nodes) {
        auto crate = std::make_shared<Crate>();
        crate->children = convert(node->children);
        crate->id = Uuid::random();
        crate->name = std::move(node->name);
        crate->components = std::move(node->components);
        finish(*node, *crate);
        crates.push_back(std::move(crate));
    }
    return crates;
}

std::vector<Crate::Ptr> TreeBuilder::sortedForest() {
    auto forest = convert(rootChildren);
    rootChildren.children.clear();
    return forest;
}

}  // namespace morrowdeck
