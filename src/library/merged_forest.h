#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "library/crate.h"
#include "library/library_member.h"

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

    // Reads and merges the members' crates: each member's crate files, with its tracks
    // resolved against its own volume, and its "Not in a crate" entry when `notInCrate`. Only
    // the first member also gets the crates of Serato's database: the computer has one, and a
    // drive's library would otherwise list them again under its own volume. `databaseRead`
    // (when given) tells whether that database was read. One member's forest is returned as
    // it is read, with no member indexes (every track is the one member's).
    static MergedForest load(const std::vector<LibraryMember>& members, bool notInCrate,
                             std::vector<std::string>* warnings, bool* databaseRead = nullptr);
};

}  // namespace morrowdeck
