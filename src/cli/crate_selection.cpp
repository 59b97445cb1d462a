#include "cli/crate_selection.h"

#include <set>

#include "library/unicode_text.h"

namespace morrowdeck::cli {

namespace {

// The node the path names, or null. Crate names never contain "/" (it cannot appear in a
// crate file's name), so splitting at "/" recovers the components.
const Crate* findNode(const std::vector<Crate::Ptr>& forest, const std::string& path) {
    const std::vector<Crate::Ptr>* level = &forest;
    const Crate* node = nullptr;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string key = text::nfcKey(std::string_view(path).substr(
            start, slash == std::string::npos ? std::string::npos : slash - start));
        node = nullptr;
        for (const auto& crate : *level) {
            if (text::nfcKey(crate->name) == key) {
                node = crate.get();
                break;
            }
        }
        if (!node) return nullptr;
        if (slash == std::string::npos) return node;
        level = &node->children;
        start = slash + 1;
    }
}

// Depth-first, parent before children: a crate is taken when it has a crate file and it or
// one of its ancestors was named. Visiting each node once keeps overlapping paths from
// selecting a crate twice.
void collect(const std::vector<Crate::Ptr>& level, const std::set<const Crate*>& named,
             bool inherited, std::vector<Crate::Ptr>& out) {
    for (const auto& crate : level) {
        const bool selected = inherited || named.contains(crate.get());
        if (selected && crate->isLeaf()) out.push_back(crate);
        collect(crate->children, named, selected, out);
    }
}

}  // namespace

CrateSelection selectCrates(const std::vector<Crate::Ptr>& forest,
                            const std::vector<std::string>& paths) {
    CrateSelection selection;
    std::set<const Crate*> named;
    for (const auto& path : paths) {
        const Crate* node = findNode(forest, path);
        if (!node) {
            selection.unknownPath = path;
            return selection;
        }
        named.insert(node);
    }
    collect(forest, named, paths.empty(), selection.crates);
    return selection;
}

}  // namespace morrowdeck::cli
