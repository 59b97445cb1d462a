// The crate index (leaves, tree places, search, path lookup) and the check-box selection.
#include "library/crate_selection.h"

#include <gtest/gtest.h>

#include "library/tree_builder.h"

namespace morrowdeck {
namespace {

using Paths = std::vector<std::string>;

// Groups without a file: Genres, Sets, Fête, Empty (no leaf at all). House has a file and a
// child.
std::shared_ptr<const CrateIndex> makeIndex() {
    TreeBuilder builder;
    for (const Paths& path : std::vector<Paths>{
             {"Genres", "House", "Deep"}, {"Genres", "House"}, {"Genres", "Techno"},
             {"Sets", "Warm-up"}, {"Cafe\u0301"}, {"F\u00eate", "\u00c9t\u00e9"}, {"Solo"}})
        builder.insert(path, std::filesystem::path("/lib/x.crate"), false, {});
    builder.insert({"Empty"}, std::nullopt, false, {});
    return std::make_shared<const CrateIndex>(builder.sortedForest());
}

std::string joined(const Crate& crate) {
    std::string path;
    for (const auto& component : crate.components)
        path += (path.empty() ? "" : "/") + component;
    return path;
}

Paths joined(const std::vector<Crate::Ptr>& crates) {
    Paths out;
    for (const auto& crate : crates)
        out.push_back(joined(*crate));
    return out;
}

const Crate& at(const CrateIndex& index, std::string_view path) {
    const Crate* crate = index.find(path);
    if (!crate) throw std::runtime_error("no crate " + std::string(path));
    return *crate;
}

const Paths kGenres{"Genres/House", "Genres/House/Deep", "Genres/Techno"};

TEST(CrateIndex, LeavesParentsAndRows) {
    const auto index = makeIndex();
    EXPECT_EQ(joined(index->allLeaves()),
              (Paths{"Cafe\u0301", "F\u00eate/\u00c9t\u00e9", "Genres/House", "Genres/House/Deep",
                     "Genres/Techno", "Sets/Warm-up", "Solo"}));
    // Which leaves a crate stands for is pinned through selection below.
    const std::tuple<const char*, const char*, std::size_t> cases[] = {
        // path, its parent ("" at top level), its row
        {"Genres", "", 3}, {"Genres/House", "Genres", 0}, {"Genres/House/Deep", "Genres/House", 0},
        {"Genres/Techno", "Genres", 1}, {"Empty", "", 1}, {"Solo", "", 5}};
    for (const auto& [path, parentPath, row] : cases) {
        const Crate& crate = at(*index, path);
        const Crate* parent = index->parent(crate);
        EXPECT_EQ(parent ? joined(*parent) : "", parentPath) << path;
        EXPECT_EQ(index->row(crate), row) << path;
    }
    // A crate of another load is unknown here.
    const auto otherLoad = makeIndex();
    const Crate& stranger = at(*otherLoad, "Genres/House");
    EXPECT_TRUE(index->leafIDs(stranger).empty());
    EXPECT_EQ(index->parent(stranger), nullptr);
}

TEST(CrateIndex, SearchFindsLeavesByPathCaseInsensitively) {
    const auto index = makeIndex();
    const std::pair<const char*, Paths> cases[] = {
        {"", {}},
        {"  DEEP\t", {"Genres/House/Deep"}},
        {"genres/house", {"Genres/House", "Genres/House/Deep"}},  // through the path
        {"genres", kGenres}};                                     // not the group itself
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(joined(index->searchResults(text)), expected) << text;
}

TEST(CrateSelection, CheckStatesFollowTogglesOfWholeSubtrees) {
    const auto index = makeIndex();
    CrateSelection selection(index);
    using enum CrateSelection::CheckState;
    const std::pair<const char*, std::vector<std::pair<const char*, CrateSelection::CheckState>>>
        steps[] = {
            // the crate toggled (nullptr: none), then states after it
            {nullptr, {{"Genres", unchecked}, {"Empty", unchecked}}},
            // House's own file is not selected yet
            {"Genres/House/Deep",
             {{"Genres/House/Deep", checked}, {"Genres/House", mixed}, {"Genres", mixed}}},
            {"Genres", {{"Genres", checked}, {"Genres/House", checked}}},  // mixed: all selected
            // checked: itself and Deep are cleared, Techno stays
            {"Genres/House",
             {{"Genres/House", unchecked}, {"Genres/House/Deep", unchecked}, {"Genres", mixed}}},
            {"Empty", {{"Empty", unchecked}}}};  // nothing to select
    for (const auto& [toggled, states] : steps) {
        if (toggled) selection.toggle(at(*index, toggled));
        for (const auto& [path, state] : states)
            EXPECT_EQ(selection.state(at(*index, path)), state)
                << path << " after " << (toggled ? toggled : "nothing");
    }
    selection.selectAll();
    EXPECT_EQ(selection.selectedCrates(), index->allLeaves());
    EXPECT_EQ(selection.state(at(*index, "Sets")), checked);
    selection.selectNone();
    EXPECT_TRUE(selection.selectedCrates().empty());
}

// Paths select their subtrees, once each and in tree order; an unknown path (the last one in
// its list) is returned and changes nothing, not even the selection made before.
TEST(CrateSelection, SelectByPaths) {
    const auto index = makeIndex();
    const std::pair<Paths, Paths> cases[] = {
        {{}, {}},
        {{"Genres/House"}, {"Genres/House", "Genres/House/Deep"}},  // a crate with children
        {{"Genres"}, kGenres},                                      // a group
        {{"Solo", "Genres/House/Deep", "Genres", "Genres/House", "Genres"},
         {"Genres/House", "Genres/House/Deep", "Genres/Techno", "Solo"}},
        {{"Empty"}, {}},
        {{"Caf\u00e9"}, {"Cafe\u0301"}},  // composed spelling of a decomposed name
        {{"Fe\u0302te/E\u0301te\u0301"}, {"F\u00eate/\u00c9t\u00e9"}}};  // and the reverse
    for (const auto& [paths, expected] : cases) {
        CrateSelection selection(index);
        EXPECT_FALSE(selection.select(paths));
        EXPECT_EQ(joined(selection.selectedCrates()), expected) << testing::PrintToString(paths);
    }
    for (const std::string path :
         {"Genres/Trance", "genres/house", "Genres/", "/Genres", "", "House", "Solo/More"}) {
        CrateSelection selection(index);
        selection.toggle(at(*index, "Sets"));
        const CrateSelection before = selection;
        EXPECT_EQ(selection.select({"Solo", path}), path);
        EXPECT_EQ(selection, before) << path;
    }
}

}  // namespace
}  // namespace morrowdeck
