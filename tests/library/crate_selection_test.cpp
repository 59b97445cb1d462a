// The crate index (leaves, tree places, search, path lookup) and the check-box selection.
#include "library/crate_selection.h"

#include <gtest/gtest.h>

#include "library/tree_builder.h"

namespace morrowdeck {
namespace {

// Groups without a file: Genres, Sets, Fête, Empty (no leaf at all). House has a file and a
// child.
std::shared_ptr<const CrateIndex> makeIndex() {
    TreeBuilder builder;
    for (const std::vector<std::string>& path :
         std::vector<std::vector<std::string>>{{"Genres", "House", "Deep"},
                                               {"Genres", "House"},
                                               {"Genres", "Techno"},
                                               {"Sets", "Warm-up"},
                                               {"Cafe\u0301"},
                                               {"F\u00eate", "\u00c9t\u00e9"},
                                               {"Solo"}})
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

std::vector<std::string> joined(const std::vector<Crate::Ptr>& crates) {
    std::vector<std::string> out;
    for (const auto& crate : crates)
        out.push_back(joined(*crate));
    return out;
}

const Crate& at(const CrateIndex& index, std::string_view path) {
    const Crate* crate = index.find(path);
    if (!crate) throw std::runtime_error("no crate " + std::string(path));
    return *crate;
}

TEST(CrateIndex, LeavesParentsAndRows) {
    const auto index = makeIndex();
    EXPECT_EQ(
        joined(index->allLeaves()),
        (std::vector<std::string>{"Cafe\u0301", "F\u00eate/\u00c9t\u00e9", "Genres/House",
                                  "Genres/House/Deep", "Genres/Techno", "Sets/Warm-up", "Solo"}));
    struct Case {
        const char* path;
        std::vector<std::string> leaves;
        const char* parent;  // "" at top level
        std::size_t row;
    };
    const Case cases[] = {
        {"Genres", {"Genres/House", "Genres/House/Deep", "Genres/Techno"}, "", 3},
        {"Genres/House", {"Genres/House", "Genres/House/Deep"}, "Genres", 0},
        {"Genres/House/Deep", {"Genres/House/Deep"}, "Genres/House", 0},
        {"Genres/Techno", {"Genres/Techno"}, "Genres", 1},
        {"Empty", {}, "", 1},
        {"Solo", {"Solo"}, "", 5},
    };
    for (const auto& c : cases) {
        const Crate& crate = at(*index, c.path);
        std::vector<std::string> leaves;
        for (const auto& id : index->leafIDs(crate))
            for (const auto& leaf : index->allLeaves())
                if (leaf->id == id) leaves.push_back(joined(*leaf));
        EXPECT_EQ(leaves, c.leaves) << c.path;
        const Crate* parent = index->parent(crate);
        EXPECT_EQ(parent ? joined(*parent) : "", c.parent) << c.path;
        EXPECT_EQ(index->row(crate), c.row) << c.path;
    }
    // A crate of another load is unknown here.
    const Crate& stranger = at(*makeIndex(), "Genres/House");
    EXPECT_TRUE(index->leafIDs(stranger).empty());
    EXPECT_EQ(index->parent(stranger), nullptr);
}

TEST(CrateIndex, SearchFindsLeavesByPathCaseInsensitively) {
    const auto index = makeIndex();
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {}},
        {" \t\u00a0\u3000", {}},  // separators only
        {"  DEEP\t", {"Genres/House/Deep"}},
        {"genres/house", {"Genres/House", "Genres/House/Deep"}},             // through the path
        {"genres", {"Genres/House", "Genres/House/Deep", "Genres/Techno"}},  // not the group
        {"CAF\u00c9", {"Cafe\u0301"}},  // composed vs decomposed
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(joined(index->searchResults(text)), expected) << text;
}

TEST(CrateSelection, CheckStatesFollowTogglesOfWholeSubtrees) {
    const auto index = makeIndex();
    CrateSelection selection(index);
    using State = CrateSelection::CheckState;
    struct Step {
        const char* toggled;  // nullptr: check the states only
        std::vector<std::pair<const char*, State>> states;
    };
    const Step steps[] = {
        {nullptr, {{"Genres", State::unchecked}, {"Empty", State::unchecked}}},
        {"Genres/House/Deep",
         {{"Genres/House/Deep", State::checked},
          {"Genres/House", State::mixed},  // its own file is not selected yet
          {"Genres", State::mixed}}},
        {"Genres",  // mixed: every leaf below becomes selected
         {{"Genres", State::checked}, {"Genres/House", State::checked}}},
        {"Genres/House",  // checked: itself and Deep are cleared, Techno stays
         {{"Genres/House", State::unchecked},
          {"Genres/House/Deep", State::unchecked},
          {"Genres", State::mixed}}},
        {"Genres", {{"Genres", State::checked}}},
        {"Genres", {{"Genres", State::unchecked}, {"Genres/Techno", State::unchecked}}},
        {"Empty", {{"Empty", State::unchecked}}},  // nothing to select
    };
    for (const auto& step : steps) {
        if (step.toggled) selection.toggle(at(*index, step.toggled));
        for (const auto& [path, state] : step.states)
            EXPECT_EQ(selection.state(at(*index, path)), state)
                << path << " after " << (step.toggled ? step.toggled : "nothing");
    }
    EXPECT_TRUE(selection.ids().empty());

    selection.selectAll();
    EXPECT_EQ(selection.selectedCrates(), index->allLeaves());
    EXPECT_EQ(selection.state(at(*index, "Sets")), State::checked);
    selection.selectNone();
    EXPECT_TRUE(selection.selectedCrates().empty());
}

TEST(CrateSelection, SelectsPathsWithTheirSubtreesOnceEachInTreeOrder) {
    const auto index = makeIndex();
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{}, {}},
        {{"Genres/House"}, {"Genres/House", "Genres/House/Deep"}},  // a crate with children
        {{"Genres"}, {"Genres/House", "Genres/House/Deep", "Genres/Techno"}},  // a group
        {{"Solo", "Genres/House/Deep", "Genres", "Genres/House", "Genres"},
         {"Genres/House", "Genres/House/Deep", "Genres/Techno", "Solo"}},
        {{"Empty"}, {}},
        {{"Caf\u00e9"}, {"Cafe\u0301"}},  // composed spelling of a decomposed name
        {{"Fe\u0302te/E\u0301te\u0301"}, {"F\u00eate/\u00c9t\u00e9"}},  // and the reverse
    };
    for (const auto& [paths, expected] : cases) {
        CrateSelection selection(index);
        EXPECT_FALSE(selection.select(paths));
        EXPECT_EQ(joined(selection.selectedCrates()), expected) << testing::PrintToString(paths);
    }
}

TEST(CrateSelection, UnknownPathChangesNothing) {
    const auto index = makeIndex();
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
