#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "library/crate.h"

namespace morrowdeck {

// The crate forests of several library members as one: crates of the same name path (names
// compared as the tree builder compares them, canonically equivalent spellings equal, case
// significant) are one crate listing the tracks of each member in member order. Built once,
// then read-only like the crates it holds.
struct MergedForest {
    std::vector<Crate::Ptr> forest;  // every level in the crate name order
    // For each crate of the forest (groups included): the member index of each entry of its
    // `tracks`, in the same order.
    std::unordered_map<const Crate*, std::vector<std::size_t>> trackMembers;

    // The member indexes of a crate of this forest; empty for any other crate.
    const std::vector<std::size_t>& membersOf(const Crate& crate) const;

    // Merges the forests, one per member in member order. A merged crate takes its name,
    // path, smart flag and database id from the first member that has it (the smart flag and
    // database id from the first that has a crate there rather than a group), its crate file
    // from the first member with one, every member's crate files, and is read from "both"
    // when its members' sources differ.
    static MergedForest merge(const std::vector<std::vector<Crate::Ptr>>& forests);
};

}  // namespace morrowdeck
