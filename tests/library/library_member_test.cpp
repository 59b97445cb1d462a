#include "library/library_member.h"

#include <gtest/gtest.h>

#include "library/crate_writer.h"
#include "library/merged_forest.h"
#include "library/serato_library.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

LibraryMember member(const std::string& library, const std::string& label, const std::string& uuid,
                     const std::string& prefix) {
    LibraryMember made;
    made.library = library;
    made.label = label;
    made.uuid = uuid;
    made.volumePrefix = prefix;
    made.mountPoint = prefix.empty() ? "/" : prefix;
    return made;
}

Names namesOf(const std::vector<LibraryMember>& members) {
    Names names;
    for (const auto& m : members)
        names.push_back(m.name);
    return names;
}

TEST(LibraryMembers, NamesAreHomeUniqueLabelsThenUuidsThenMountPoints) {
    const fs::path home = "/home/dj/Music/_Serato_";
    std::vector<LibraryMember> members{
        member("/media/dj/GIG/_Serato_", "GIG", "1111-AAAA", "/media/dj/GIG"),
        member("/home/dj/Music/./_Serato_", "", "root-uuid", ""),
        // Labels differing in case only are the same label on FAT: neither is unique.
        member("/media/dj/USB/_Serato_", "USB", "2222-BBBB", "/media/dj/USB"),
        member("/media/dj/USB1/_Serato_", "usb", "3333-CCCC", "/media/dj/USB1"),
        // No label and no UUID: the mount point's name, or the folder holding the library.
        member("/media/dj/NOLABEL/_Serato_", "", "", "/media/dj/NOLABEL"),
        member("/srv/dj/_Serato_", "", "", ""),
        // A drive labelled "home" is not the home library.
        member("/media/dj/home/_Serato_", "home", "4444-DDDD", "/media/dj/home"),
        // Two libraries on one volume share its label; the second is numbered.
        member("/media/dj/GIG/Music/_Serato_", "GIG", "1111-AAAA", "/media/dj/GIG"),
    };
    LibraryMembers::nameMembers(members, home);
    EXPECT_EQ(namesOf(members), (Names{"GIG", "home", "2222-BBBB", "3333-CCCC", "NOLABEL", "dj",
                                      "4444-DDDD", "GIG 2"}));

    // A numbered name never takes another member's own name, nor "home" a drive's.
    std::vector<LibraryMember> clash{member("/a/_Serato_", "", "", "/media/x/GIG"),
                                     member("/b/_Serato_", "", "", "/media/y/GIG"),
                                     member("/c/_Serato_", "GIG 2", "5555", "/media/z"),
                                     member("/home/_Serato_", "", "", "")};
    LibraryMembers::nameMembers(clash, home);
    EXPECT_EQ(namesOf(clash), (Names{"GIG", "GIG 3", "GIG 2", "home 2"}));
}

TEST(LibraryMembers, DescribeKeepsEachFolderOnceAndKnowsHome) {
    test::TempDir dir;
    fs::create_directories(dir / "Music" / "_Serato_");
    fs::create_directories(dir / "Other" / "_Serato_");
    // Where no symbolic link can be made (Windows without the right), the folder itself.
    std::error_code noLinks;
    fs::create_directory_symlink(dir / "Music", dir / "Link", noLinks);
    const fs::path link = noLinks ? dir / "Music" : dir / "Link";
    const auto members = LibraryMembers::describe(
        {dir / "Other" / "_Serato_", link / "_Serato_", dir / "Music" / "_Serato_",
         dir / "Other" / "_Serato_"},
        dir / "Music" / "_Serato_");
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].library, dir / "Other" / "_Serato_");
    EXPECT_EQ(members[1].library, link / "_Serato_");
    EXPECT_EQ(members[1].name, "home");
    EXPECT_NE(members[0].name, "home");
    EXPECT_FALSE(members[0].mountPoint.empty());
}

// Two libraries on their own volumes, loaded and merged as one forest.
TEST(MergedForest, SamePathsMergeAcrossMembersInMemberOrder) {
    test::TempDir dir;
    const auto crate = [&](const std::string& drive, const std::string& file, const Names& paths) {
        test::writeFile(dir / drive / "_Serato_" / "Subcrates" / test::pathOf(file),
                        CrateWriter::crateData(paths));
    };
    crate("A", "House.crate", {"a1.mp3", "a2.mp3"});
    crate("A", "House%%Deep.crate", {"a3.mp3"});
    crate("A", "Cafe\xCC\x81.crate", {"a4.mp3"});  // decomposed
    crate("B", "House%%Deep.crate", {"b1.mp3"});   // "House" is a group on B
    crate("B", "house.crate", {"b2.mp3"});         // another case: another crate
    crate("B", "Caf\xC3\xA9.crate", {"b3.mp3"});    // composed: the same crate as A's
    std::vector<std::vector<Crate::Ptr>> forests;
    for (const char* drive : {"A", "B"}) {
        SeratoLibrary::LoadOptions options;
        options.volumePrefix = test::text(dir / drive);
        options.masterDatabase = dir / "no master.sqlite";
        forests.push_back(SeratoLibrary::load(dir / drive / "_Serato_", options).forest);
    }
    const auto a = [&](const std::string& file) { return test::text(dir / "A" / file); };
    const auto b = [&](const std::string& file) { return test::text(dir / "B" / file); };

    const MergedForest merged = MergedForest::merge(forests);
    ASSERT_EQ(merged.forest.size(), 3u);
    const Crate& cafe = *merged.forest[0];
    const Crate& house = *merged.forest[1];
    EXPECT_EQ(cafe.name, "Cafe\xCC\x81");
    EXPECT_EQ(cafe.crateFiles.size(), 2u);
    EXPECT_EQ(cafe.tracks, (Names{a("a4.mp3"), b("b3.mp3")}));
    EXPECT_EQ(house.name, "house");  // lower case first in the name order
    EXPECT_EQ(house.tracks, (Names{b("b2.mp3")}));
    EXPECT_EQ(merged.membersOf(house), (std::vector<std::size_t>{1}));

    const Crate& upper = *merged.forest[2];
    EXPECT_EQ(upper.name, "House");
    EXPECT_TRUE(upper.isLeaf());
    EXPECT_EQ(upper.tracks, (Names{a("a1.mp3"), a("a2.mp3")}));
    ASSERT_EQ(upper.children.size(), 1u);
    const Crate& deep = *upper.children[0];
    EXPECT_EQ(deep.components, (Names{"House", "Deep"}));
    EXPECT_EQ(deep.tracks, (Names{a("a3.mp3"), b("b1.mp3")}));
    EXPECT_EQ(merged.membersOf(deep), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(upper.totalTrackCount(), 4u);
}

}  // namespace
}  // namespace morrowdeck
