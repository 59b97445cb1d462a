#include "library/crate_index.h"

#include "library/unicode_text.h"

namespace morrowdeck {

CrateIndex::CrateIndex(std::vector<Crate::Ptr> forest) : forest_(std::move(forest)) {
    for (std::size_t row = 0; row < forest_.size(); ++row)
        walk(forest_[row], nullptr, row);
}

// Depth-first: a leaf enters allLeaves before its children, and its own list starts with
// itself followed by the lists of its children in order.
const std::vector<Uuid>& CrateIndex::walk(const Crate::Ptr& crate, const Crate* parent,
                                          std::size_t row) {
    Entry entry{parent, row, {}};
    if (crate->isLeaf()) {
        entry.leafIDs.push_back(crate->id);
        allLeaves_.push_back(crate);
    }
    for (std::size_t index = 0; index < crate->children.size(); ++index) {
        const auto& below = walk(crate->children[index], crate.get(), index);
        entry.leafIDs.insert(entry.leafIDs.end(), below.begin(), below.end());
    }
    return entries_.insert_or_assign(crate->id, std::move(entry)).first->second.leafIDs;
}

const CrateIndex::Entry* CrateIndex::entry(const Crate& crate) const {
    const auto found = entries_.find(crate.id);
    return found == entries_.end() ? nullptr : &found->second;
}

const std::vector<Uuid>& CrateIndex::leafIDs(const Crate& crate) const {
    static const std::vector<Uuid> none;
    const Entry* found = entry(crate);
    return found ? found->leafIDs : none;
}

const Crate* CrateIndex::parent(const Crate& crate) const {
    const Entry* found = entry(crate);
    return found ? found->parent : nullptr;
}

std::size_t CrateIndex::row(const Crate& crate) const {
    const Entry* found = entry(crate);
    return found ? found->row : 0;
}

std::vector<Crate::Ptr> CrateIndex::searchResults(std::string_view searchText) const {
    const std::string needle = text::trimSeparators(searchText);
    std::vector<Crate::Ptr> results;
    if (needle.empty()) return results;
    for (const auto& leaf : allLeaves_) {
        std::string path;
        for (const auto& component : leaf->components)
            path += (path.empty() ? "" : "/") + component;
        if (text::containsIgnoringCaseAndAccents(path, needle)) results.push_back(leaf);
    }
    return results;
}

const Crate* CrateIndex::find(std::string_view path) const {
    const std::vector<Crate::Ptr>* level = &forest_;
    for (;;) {
        const std::size_t slash = path.find('/');
        const std::string key = text::nfcKey(path.substr(0, slash));
        const Crate* node = nullptr;
        for (const auto& crate : *level) {
            if (text::nfcKey(crate->name) == key) {
                node = crate.get();
                break;
            }
        }
        if (!node || slash == std::string_view::npos) return node;
        level = &node->children;
        path.remove_prefix(slash + 1);
    }
}

}  // namespace morrowdeck
