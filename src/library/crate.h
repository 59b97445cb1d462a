#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uuid.h"

namespace morrowdeck {

// One crate of a loaded library. Shared and immutable once the forest is built: the forest,
// the window model's list of leaves and a backup run all hold the same objects, from any
// thread, without locking.
struct Crate {
    using Ptr = std::shared_ptr<const Crate>;

    // Where the crate was read from: its crate file, Serato's database (master.sqlite), or both.
    enum class Source { files, database, both };

    Uuid id;
    std::string name;                                   // last component, as displayed
    std::vector<std::string> components;                // full name path, top level first
    std::optional<std::filesystem::path> crateFileURL;  // absent for a pure group
    // Every file read into this crate, crateFileURL first: crate files whose names are
    // canonically equivalent (NFC and NFD spellings) are merged into one crate.
    std::vector<std::filesystem::path> crateFiles;
    bool isSmart = false;
    // The library's tracks that no regular crate lists, offered as one crate without a file.
    bool isNotInCrate = false;
    std::vector<std::string> tracks;  // absolute paths in file order, duplicates kept
    Source source = Source::files;
    // The database's container id when the crate is in the database; `tracks` is then the
    // database's list, which is what Serato reads.
    std::optional<std::int64_t> databaseId;
    // In both, and the crate file lists other tracks (or another order) than the database.
    bool listsDiffer = false;
    std::vector<Ptr> children;        // sorted by name

    // A crate read from a file or from the database, or the not-in-a-crate entry; only these
    // are selected and backed up (a leaf may also have children).
    bool isLeaf() const { return crateFileURL.has_value() || databaseId.has_value() || isNotInCrate; }

    // The children, or null when there are none (an outline shows no disclosure control).
    const std::vector<Ptr>* outlineChildren() const {
        return children.empty() ? nullptr : &children;
    }

    // Own tracks plus every descendant's, duplicates and missing files included.
    std::size_t totalTrackCount() const;
};

}  // namespace morrowdeck
