#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/crate.h"

namespace morrowdeck {

// Lookup tables over one loaded crate forest, built once per load: the leaves (crates with a
// crate file) at and below every crate, each crate's place in the tree for an outline model,
// search, and lookup by name path. Immutable once built, like the forest it holds.
class CrateIndex {
  public:
    CrateIndex() = default;  // an empty forest
    explicit CrateIndex(std::vector<Crate::Ptr> forest);

    const std::vector<Crate::Ptr>& forest() const { return forest_; }

    // Every leaf in depth-first pre-order: a crate before its children, children sorted.
    const std::vector<Crate::Ptr>& allLeaves() const { return allLeaves_; }

    // The identifiers of the leaves at and below the crate (itself first when it is a leaf),
    // in allLeaves order. Empty for a group without leaves and for a crate of another forest.
    const std::vector<Uuid>& leafIDs(const Crate& crate) const;

    // The crate's parent, or null for a top-level crate (or one of another forest).
    const Crate* parent(const Crate& crate) const;

    // The crate's position among its parent's children, or among the top-level crates.
    std::size_t row(const Crate& crate) const;

    // The leaves, in allLeaves order, whose name path (components joined with "/") contains
    // the search text, ignoring case and accents ("fete" finds "Fête"); the text is first trimmed of tabs and space
    // separators, and a text that trims to nothing finds nothing. The path ends with the
    // crate's own name, so a name match is a path match.
    std::vector<Crate::Ptr> searchResults(std::string_view searchText) const;

    // The crate whose components joined with "/" give the path ("Genres/House"), comparing
    // each component with canonical equivalence; null when no crate has that path. Crate
    // names never contain "/" (it cannot appear in a crate file's name).
    const Crate* find(std::string_view path) const;

  private:
    struct Entry {
        const Crate* parent = nullptr;
        std::size_t row = 0;
        std::vector<Uuid> leafIDs;
    };

    const std::vector<Uuid>& walk(const Crate::Ptr& crate, const Crate* parent, std::size_t row);
    const Entry* entry(const Crate& crate) const;

    std::vector<Crate::Ptr> forest_;
    std::vector<Crate::Ptr> allLeaves_;
    std::unordered_map<Uuid, Entry> entries_;
};

}  // namespace morrowdeck
