#pragma once

#include <optional>
#include <string>
#include <vector>

#include "library/crate.h"

namespace morrowdeck::cli {

// The crates a backup receives, chosen from the loaded forest by name paths.
struct CrateSelection {
    std::vector<Crate::Ptr> crates;          // forest order (parent before children), each once
    std::optional<std::string> unknownPath;  // the first path that names no crate
};

// Selects, for each path (a crate's components joined with "/", such as "Genres/House"),
// every crate with a crate file at and below that node, as ticking it in the tree does.
// Components match canonically equivalent spellings. Without paths every crate with a crate
// file is selected. When a path names no crate, `unknownPath` is set and nothing is selected.
CrateSelection selectCrates(const std::vector<Crate::Ptr>& forest,
                            const std::vector<std::string>& paths);

}  // namespace morrowdeck::cli
