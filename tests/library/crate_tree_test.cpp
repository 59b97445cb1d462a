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

TEST(TreeBuilder, IntermediateNodesAreGroups) {
    TreeBuilder builder;
    builder.insert({"A", "B", "C"}, "/c.crate", false, {"/t1", "/t2"});
    const auto forest = builder.sortedForest();
    ASSERT_EQ(forest.size(), 1u);
    const Crate& a = *forest[0];
    EXPECT_FALSE(a.isLeaf());
    ASSERT_EQ(a.children.size(), 1u);
    const Crate& b = *a.children[0];
    EXPECT_FALSE(b.isLeaf());
    EXPECT_EQ(b.components, (Names{"A", "B"}));
    const Crate& c = *b.children[0];
    EXPECT_EQ(c.crateFileURL, std::filesystem::path("/c.crate"));
    EXPECT_EQ(c.components, (Names{"A", "B", "C"}));
    EXPECT_EQ(c.tracks, (Names{"/t1", "/t2"}));
    EXPECT_EQ(c.outlineChildren(), nullptr);
    EXPECT_EQ(a.totalTrackCount(), 2u);
}

TEST(TreeBuilder, InsertOrderAndReplacement) {
    {  // a crate keeps its file when a child is added, and vice versa
        TreeBuilder builder;
        builder.insert({"A"}, "/1.crate", false, {"/x"});
        builder.insert({"A", "B"}, "/2.crate", false, {});
        const auto forest = builder.sortedForest();
        EXPECT_EQ(forest[0]->crateFileURL, std::filesystem::path("/1.crate"));
        EXPECT_EQ(names(forest[0]->children), Names{"B"});
    }
    {
        TreeBuilder builder;
        builder.insert({"A", "B"}, "/2.crate", false, {});
        builder.insert({"A"}, "/1.crate", true, {"/x"});
        const auto forest = builder.sortedForest();
        EXPECT_TRUE(forest[0]->isLeaf());
        EXPECT_TRUE(forest[0]->isSmart);
        EXPECT_EQ(names(forest[0]->children), Names{"B"});
    }
    {  // same name at two depths are different nodes
        TreeBuilder builder;
        builder.insert({"B"}, "/top.crate", false, {"/1"});
        builder.insert({"A", "B"}, "/nested.crate", false, {"/2"});
        const auto forest = builder.sortedForest();
        ASSERT_EQ(names(forest), (Names{"A", "B"}));
        EXPECT_EQ(forest[1]->tracks, Names{"/1"});
        EXPECT_EQ(forest[0]->children[0]->tracks, Names{"/2"});
    }
    {  // the last insert on a path wins
        TreeBuilder builder;
        builder.insert({"A"}, "/1.crate", false, {"/1"});
        builder.insert({"A"}, "/2.scrate", true, {"/2", "/3"});
        builder.insert({}, "/ignored.crate", false, {"/4"});
        const auto forest = builder.sortedForest();
        ASSERT_EQ(forest.size(), 1u);
        EXPECT_EQ(forest[0]->crateFileURL, std::filesystem::path("/2.scrate"));
        EXPECT_EQ(forest[0]->tracks, (Names{"/2", "/3"}));
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

TEST(TreeBuilder, EveryLevelSortedInFinderOrder) {
    TreeBuilder builder;
    for (const char* name : {"Set 10", "set 2", "Alpha", "Smart Crates"})
        builder.insert({name}, std::nullopt, false, {});
    for (const char* name : {"b10", "B9", "a"})
        builder.insert({"Alpha", name}, std::nullopt, false, {});
    const auto forest = builder.sortedForest();
    EXPECT_EQ(names(forest), (Names{"Alpha", "set 2", "Set 10", "Smart Crates"}));
    EXPECT_EQ(names(forest[0]->children), (Names{"a", "B9", "b10"}));
}

TEST(TreeBuilder, TotalsAndFreshIdentifiers) {
    const auto build = [] {
        TreeBuilder builder;
        builder.insert({"G", "x"}, "/x.crate", false, {"/1", "/2", "/1"});
        builder.insert({"G", "y"}, "/y.crate", false, {"/3", "/4", "/5", "/6"});
        return builder.sortedForest();
    };
    const auto first = build();
    EXPECT_EQ(first[0]->totalTrackCount(), 7u);
    ASSERT_NE(first[0]->outlineChildren(), nullptr);
    EXPECT_EQ(first[0]->outlineChildren()->size(), 2u);
    const auto second = build();
    EXPECT_NE(first[0]->id, second[0]->id);
    EXPECT_NE(first[0]->children[0]->id, first[0]->children[1]->id);
}

}  // namespace
}  // namespace morrowdeck
