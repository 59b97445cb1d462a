#include <gtest/gtest.h>

#include "library/tree_builder.h"

namespace morrowdeck {
namespace {

using Names = std::vector<std::string>;

Names names(const std::vector<Crate::Ptr>& crates) {
    Names out;
    for (const auto& crate : crates)
        out.push_back(crate->name);
    return out;
}

TEST(TreeBuilder, InsertOrderAndReplacement) {
    {  // a crate keeps its file when a child is added, and vice versa
        TreeBuilder builder;
        builder.insert({"A"}, "/1.crate", false, {"/x"});
        builder.insert({"A", "B"}, "/2.crate", false, {});
        builder.insert({"C", "D"}, "/4.crate", false, {});
        builder.insert({"C"}, "/3.crate", true, {"/x"});
        const auto forest = builder.sortedForest();
        EXPECT_EQ(forest[0]->crateFileURL, std::filesystem::path("/1.crate"));
        EXPECT_EQ(names(forest[0]->children), Names{"B"});
        EXPECT_TRUE(forest[1]->isLeaf());
        EXPECT_TRUE(forest[1]->isSmart);
        EXPECT_EQ(names(forest[1]->children), Names{"D"});
    }
    {  // same name at two depths are different nodes; the last insert on a path wins
        TreeBuilder builder;
        builder.insert({"B"}, "/top.crate", false, {"/1"});
        builder.insert({"A", "B"}, "/nested.crate", false, {"/2"});
        builder.insert({"B"}, "/2.scrate", true, {"/2", "/3"});
        builder.insert({}, "/ignored.crate", false, {"/4"});
        const auto forest = builder.sortedForest();
        ASSERT_EQ(names(forest), (Names{"A", "B"}));
        EXPECT_EQ(forest[1]->crateFileURL, std::filesystem::path("/2.scrate"));
        EXPECT_EQ(forest[1]->tracks, (Names{"/2", "/3"}));
        EXPECT_EQ(forest[0]->children[0]->tracks, Names{"/2"});
    }
}

TEST(TreeBuilder, CanonicallyEquivalentNamesShareANodeButCaseDoesNot) {
    TreeBuilder builder;
    builder.insert({"Caf\xC3\xA9", "One"}, "/1.crate", false, {});
    builder.insert({"Cafe\xCC\x81", "Two"}, "/2.crate", false, {});
    builder.insert({"house"}, "/3.crate", false, {});
    builder.insert({"House"}, "/4.crate", false, {});
    const auto forest = builder.sortedForest();
    ASSERT_EQ(forest.size(), 3u);
    EXPECT_EQ(names(forest[0]->children), (Names{"One", "Two"}));
    EXPECT_EQ(names({forest[1], forest[2]}), (Names{"house", "House"}));
}

TEST(TreeBuilder, EveryLevelSortedTotalsAndFreshIdentifiers) {
    const auto build = [] {
        TreeBuilder builder;
        for (const char* name : {"Set 10", "set 2", "G"})
            builder.insert({name}, std::nullopt, false, {});
        builder.insert({"G", "x10"}, "/x.crate", false, {"/1", "/2", "/1"});
        builder.insert({"G", "X9"}, "/y.crate", false, {"/3", "/4", "/5", "/6"});
        return builder.sortedForest();
    };
    const auto first = build();
    EXPECT_EQ(names(first), (Names{"G", "set 2", "Set 10"}));
    EXPECT_EQ(names(first[0]->children), (Names{"X9", "x10"}));
    EXPECT_EQ(first[0]->totalTrackCount(), 7u);
    ASSERT_NE(first[0]->outlineChildren(), nullptr);
    EXPECT_EQ(first[0]->outlineChildren()->size(), 2u);
    EXPECT_EQ(first[0]->children[0]->outlineChildren(), nullptr);
    const auto second = build();
    EXPECT_NE(first[0]->id, second[0]->id);
    EXPECT_NE(first[0]->children[0]->id, first[0]->children[1]->id);
}

}  // namespace
}  // namespace morrowdeck
