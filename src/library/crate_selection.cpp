#include "library/crate_selection.h"

namespace morrowdeck {

CrateSelection::CrateSelection() : CrateSelection(std::make_shared<const CrateIndex>()) {}

CrateSelection::CrateSelection(std::shared_ptr<const CrateIndex> index)
    : index_(std::move(index)) {}

CrateSelection::CheckState CrateSelection::state(const Crate& crate) const {
    const auto& leaves = index_->leafIDs(crate);
    std::size_t selected = 0;
    for (const auto& id : leaves)
        selected += ids_.count(id);
    if (selected == 0) return CheckState::unchecked;
    return selected == leaves.size() ? CheckState::checked : CheckState::mixed;
}

void CrateSelection::toggle(const Crate& crate) {
    const auto& leaves = index_->leafIDs(crate);
    if (state(crate) == CheckState::checked) {
        for (const auto& id : leaves)
            ids_.erase(id);
    } else {
        ids_.insert(leaves.begin(), leaves.end());
    }
}

void CrateSelection::selectAll() {
    for (const auto& leaf : index_->allLeaves())
        ids_.insert(leaf->id);
}

void CrateSelection::selectNone() {
    ids_.clear();
}

std::optional<std::string> CrateSelection::select(const std::vector<std::string>& paths) {
    std::vector<const Crate*> named;
    for (const auto& path : paths) {
        const Crate* crate = index_->find(path);
        if (!crate) return path;
        named.push_back(crate);
    }
    for (const Crate* crate : named) {
        const auto& leaves = index_->leafIDs(*crate);
        ids_.insert(leaves.begin(), leaves.end());
    }
    return std::nullopt;
}

std::vector<Crate::Ptr> CrateSelection::selectedCrates() const {
    std::vector<Crate::Ptr> crates;
    for (const auto& leaf : index_->allLeaves())
        if (ids_.contains(leaf->id)) crates.push_back(leaf);
    return crates;
}

}  // namespace morrowdeck
