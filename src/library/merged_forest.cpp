#include "library/merged_forest.h"

#include <algorithm>
#include <map>
#include <string>

#include "library/name_order.h"
#include "library/serato_library.h"
#include "library/serato_library_tracks.h"
#include "library/unicode_text.h"

namespace morrowdeck {

namespace {

// One member's crate at a node of the merged tree.
struct Part {
    std::size_t member;
    const Crate* crate;
};

Crate::Source combined(Crate::Source a, Crate::Source b) {
    return a == b ? a : Crate::Source::both;
}

std::vector<Crate::Ptr> mergeLevel(const std::vector<std::pair<std::size_t,
                                                               const std::vector<Crate::Ptr>*>>& levels,
                                   MergedForest& merged) {
    // Keyed like the tree builder's nodes; each node's parts in member order.
    std::map<std::string, std::vector<Part>> nodes;
    for (const auto& [member, crates] : levels)
        for (const auto& crate : *crates)
            nodes[text::nfcKey(crate->name)].push_back({member, crate.get()});

    std::vector<Crate::Ptr> result;
    for (const auto& [key, parts] : nodes) {
        auto crate = std::make_shared<Crate>();
        const Crate& first = *parts.front().crate;
        crate->id = Uuid::random();
        crate->name = first.name;
        crate->components = first.components;
        crate->isSmart = first.isSmart;
        crate->isNotInCrate = first.isNotInCrate;
        crate->source = first.source;
        const Crate* firstLeaf = nullptr;
        std::vector<std::size_t> members;
        std::vector<std::pair<std::size_t, const std::vector<Crate::Ptr>*>> childLevels;
        for (const auto& [member, part] : parts) {
            if (!crate->crateFileURL) crate->crateFileURL = part->crateFileURL;
            if (!crate->databaseId) crate->databaseId = part->databaseId;
            if (!firstLeaf && part->isLeaf()) firstLeaf = part;
            crate->crateFiles.insert(crate->crateFiles.end(), part->crateFiles.begin(),
                                     part->crateFiles.end());
            crate->source = combined(crate->source, part->source);
            crate->listsDiffer = crate->listsDiffer || part->listsDiffer;
            crate->tracks.insert(crate->tracks.end(), part->tracks.begin(), part->tracks.end());
            members.insert(members.end(), part->tracks.size(), member);
            childLevels.emplace_back(member, &part->children);
        }
        if (firstLeaf) crate->isSmart = firstLeaf->isSmart;
        crate->children = mergeLevel(childLevels, merged);
        merged.trackMembers.emplace(crate.get(), std::move(members));
        result.push_back(std::move(crate));
    }
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return text::nameLess(a->name, b->name);
    });
    return result;
}

}  // namespace

const std::vector<std::size_t>& MergedForest::membersOf(const Crate& crate) const {
    static const std::vector<std::size_t> none;
    const auto found = trackMembers.find(&crate);
    return found != trackMembers.end() ? found->second : none;
}

MergedForest MergedForest::merge(const std::vector<std::vector<Crate::Ptr>>& forests) {
    MergedForest merged;
    std::vector<std::pair<std::size_t, const std::vector<Crate::Ptr>*>> levels;
    for (std::size_t member = 0; member < forests.size(); ++member)
        levels.emplace_back(member, &forests[member]);
    merged.forest = mergeLevel(levels, merged);
    return merged;
}

MergedForest MergedForest::load(const std::vector<LibraryMember>& members, bool notInCrate,
                                std::vector<std::string>* warnings, bool* databaseRead) {
    std::vector<std::vector<Crate::Ptr>> forests;
    bool read = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        SeratoLibrary::LoadOptions options;
        options.volumePrefix = members[i].volumePrefix;
        if (i > 0) options.masterDatabase = std::filesystem::path();  // names no file
        auto loaded = SeratoLibrary::load(members[i].library, options, warnings);
        read = read || loaded.databaseRead;
        forests.push_back(notInCrate ? SeratoLibrary::withNotInCrate(std::move(loaded.forest),
                                                                     members[i].library, warnings)
                                     : std::move(loaded.forest));
    }
    if (databaseRead) *databaseRead = read;
    if (forests.size() == 1) {  // one library is its own forest, every track of member 0
        MergedForest one;
        one.forest = std::move(forests.front());
        return one;
    }
    MergedForest merged = merge(forests);
    // "Not in a crate" follows the crates, as it does in one library's forest.
    std::stable_partition(merged.forest.begin(), merged.forest.end(),
                          [](const Crate::Ptr& crate) { return !crate->isNotInCrate; });
    return merged;
}

}  // namespace morrowdeck
