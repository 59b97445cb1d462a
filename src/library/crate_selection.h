#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "library/crate_index.h"

namespace morrowdeck {

// Which leaves of one loaded forest are chosen for a backup. Only leaves are ever selected;
// a group is chosen through the leaves at and below it. Identifiers are fresh at every load,
// so a selection belongs to the index it was made over.
class CrateSelection {
  public:
    // The tri-state of a crate's check box, from the leaves at and below it.
    enum class CheckState {
        checked,    // every leaf is selected
        unchecked,  // none is, or there is no leaf
        mixed,      // some but not all are
    };

    // Nothing selected, over an empty forest.
    CrateSelection();
    // Nothing selected, over the index.
    explicit CrateSelection(std::shared_ptr<const CrateIndex> index);

    const CrateIndex& index() const { return *index_; }
    const std::unordered_set<Uuid>& ids() const { return ids_; }

    CheckState state(const Crate& crate) const;

    // A checked crate's leaves are all deselected; a mixed or unchecked crate's leaves are
    // all selected. A crate without leaves, or of another forest, changes nothing.
    void toggle(const Crate& crate);

    void selectAll();
    void selectNone();
    // Deselects that one leaf, not the leaves below it.
    void deselectLeaf(const Crate& leaf) { ids_.erase(leaf.id); }

    // Adds the leaves at and below each crate named by a path of components joined with "/"
    // (see CrateIndex::find). When a path names no crate, nothing is added and that path is
    // returned.
    std::optional<std::string> select(const std::vector<std::string>& paths);

    // The selected leaves in the index's allLeaves order, each once.
    std::vector<Crate::Ptr> selectedCrates() const;

    friend bool operator==(const CrateSelection& a, const CrateSelection& b) {
        return a.index_ == b.index_ && a.ids_ == b.ids_;
    }

  private:
    std::shared_ptr<const CrateIndex> index_;
    std::unordered_set<Uuid> ids_;
};

}  // namespace morrowdeck
