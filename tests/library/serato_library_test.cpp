#include "library/serato_library.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "library/crate_writer.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoLibrary {
namespace {

using Names = std::vector<std::string>;
using test::TempDir;

Names names(const std::vector<Crate::Ptr>& crates) {
    Names out;
    for (const auto& crate : crates)
        out.push_back(crate->name);
    return out;
}

const Crate* find(const std::vector<Crate::Ptr>& crates, std::string_view name) {
    for (const auto& crate : crates)
        if (crate->name == name) return crate.get();
    return nullptr;
}

TEST(ResolveLibrary, LooksAtTheFolderAndItsDirectChildOnlyDefaultUnderHome) {
    TempDir dir;
    const auto library = dir / "Music" / "_Serato_";
    std::filesystem::create_directories(library);
    std::filesystem::create_directories(dir / "Other" / "_serato_" / "_Serato_");
    test::writeFile(dir / "File" / "_Serato_", "not a folder");

    EXPECT_EQ(resolveLibrary(library), library);
    EXPECT_EQ(resolveLibrary(dir / "Music"), library);
    EXPECT_EQ(resolveLibrary(dir.path()), std::nullopt);  // two levels up
    EXPECT_EQ(resolveLibrary(dir / "Other" / "_serato_"), dir / "Other" / "_serato_" / "_Serato_");
    EXPECT_EQ(resolveLibrary(dir / "File"), std::nullopt);
    EXPECT_EQ(resolveLibrary(dir / "File" / "_Serato_"), std::nullopt);
    EXPECT_EQ(resolveLibrary(dir / "missing"), std::nullopt);
    const test::ScopedHome guard("/home/dj");
    EXPECT_EQ(defaultLibraryLocation(), std::filesystem::path("/home/dj/Music/_Serato_"));
}

TEST(NameComponents, SplitTrimAndDrop) {
    const std::vector<std::pair<std::string, Names>> cases{
        {"  House %% Deep ", {"House", "Deep"}},
        {"A%%%%B", {"A", "B"}},
        {"A%%%B", {"A", "%B"}},
        {"%%", {}},
        {" ", {}},
        {"\t%% \xC2\xA0 %%", {}},
        {"Genres%%House%%Deep", {"Genres", "House", "Deep"}},
        {"50% off", {"50% off"}},
        {"Line\nBreak", {"Line\nBreak"}},
    };
    for (const auto& [base, expected] : cases)
        EXPECT_EQ(nameComponents(base), expected) << base;
}

// A library made on the fly, with the awkward entries real folders hold.
class LoadCratesTest : public testing::Test {
  protected:
    void SetUp() override {
        library = dir / "_Serato_";
        std::filesystem::create_directories(library / "Subcrates");
        std::filesystem::create_directories(library / "SmartCrates");
    }
    void crate(const std::string& folder, const std::string& file, const Names& paths) {
        test::writeFile(library / folder / file, CrateWriter::crateData(paths));
    }

    TempDir dir;
    std::filesystem::path library;
};

TEST_F(LoadCratesTest, BuildsTheSortedForest) {
    crate("Subcrates", "Genres%%House%%Deep.crate", {"Music/deep1.mp3", "/Music/deep2.mp3"});
    crate("Subcrates", "Genres%%House.CRATE", {"Music/house.mp3"});
    crate("Subcrates", "Set 10.crate", {});
    crate("Subcrates", "set 2.crate", {"a", "a"});
    crate("Subcrates", "._Genres.crate", {"hidden"});
    crate("Subcrates", "notes.txt", {"ignored"});
    crate("Subcrates", "%%.crate", {"never read"});
    crate("Subcrates", " .crate", {"never read"});
    crate("SmartCrates", "Techno%%Peak.scrate", {"Music/peak.mp3"});
    crate("SmartCrates", "Rules only.scrate", {});
    crate("SmartCrates", "Wrong kind.crate", {"ignored"});

    const std::string prefix = volumeMountPrefix(library);
    const auto forest = loadCrates(library);
    ASSERT_EQ(names(forest), (Names{"Genres", "set 2", "Set 10", "Smart Crates"}));

    const Crate* genres = forest[0].get();
    EXPECT_FALSE(genres->isLeaf());
    const Crate* house = genres->children.at(0).get();
    EXPECT_EQ(house->tracks, Names{prefix + "/Music/house.mp3"});
    EXPECT_EQ(house->crateFileURL, library / "Subcrates" / "Genres%%House.CRATE");
    EXPECT_EQ(house->children.at(0)->tracks,
              (Names{prefix + "/Music/deep1.mp3", prefix + "/Music/deep2.mp3"}));
    EXPECT_EQ(genres->totalTrackCount(), 3u);
    EXPECT_EQ(forest[1]->tracks.size(), 2u);  // duplicates kept

    const Crate* smart = forest[3].get();
    EXPECT_FALSE(smart->isLeaf());
    EXPECT_EQ(names(smart->children), (Names{"Rules only", "Techno"}));
    EXPECT_TRUE(smart->children[0]->isSmart);
    EXPECT_TRUE(smart->children[0]->tracks.empty());
    EXPECT_EQ(smart->children[1]->children.at(0)->components,
              (Names{"Smart Crates", "Techno", "Peak"}));
}

TEST_F(LoadCratesTest, BadFilesGiveFewerTracksNeverFailure) {
    crate("Subcrates", "Good.crate", {"a.mp3"});
    std::filesystem::create_directory(library / "Subcrates" / "Folder.crate");
    test::writeFile(library / "Subcrates" / "Empty.crate", "");
    test::writeFile(library / "Subcrates" / "Foreign.crate", "<?xml version='1.0'?><crate/>");
    auto truncated = CrateWriter::crateData({"one", "two"});
    truncated.resize(truncated.size() - 3);
    test::writeFile(library / "Subcrates" / "Truncated.crate", truncated);
    std::vector<std::uint8_t> huge = CrateWriter::crateData({"first"});
    for (std::uint8_t byte : {0x6F, 0x74, 0x72, 0x6B, 0xFF, 0xFF, 0xFF, 0xF0})
        huge.push_back(byte);  // "otrk", ~4 GB
    test::writeFile(library / "Subcrates" / "Huge.crate", huge);
    ASSERT_EQ(::mkfifo((library / "Subcrates" / "Pipe.crate").c_str(), 0600), 0);
    crate("Subcrates", "Unreadable.crate", {"x"});
    std::filesystem::permissions(library / "Subcrates" / "Unreadable.crate",
                                 std::filesystem::perms::none);

    const auto forest = loadCrates(library);
    std::map<std::string, std::size_t> counts;
    for (const auto& crate : forest)
        counts[crate->name] = crate->tracks.size();
    counts.erase("Unreadable");  // root reads it anyway
    EXPECT_EQ(counts, (std::map<std::string, std::size_t>{{"Empty", 0},
                                                          {"Folder", 0},
                                                          {"Foreign", 0},
                                                          {"Good", 1},
                                                          {"Huge", 1},
                                                          {"Pipe", 0},
                                                          {"Truncated", 1}}));
    EXPECT_EQ(forest.size(), 8u);
    EXPECT_TRUE(find(forest, "Folder")->isLeaf());
}

TEST_F(LoadCratesTest, MissingFoldersAndPlainSmartCratesGroup) {
    EXPECT_TRUE(loadCrates(dir / "nowhere").empty());
    std::filesystem::remove(library / "SmartCrates");
    test::writeFile(library / "SmartCrates", "a file where a folder should be");
    EXPECT_TRUE(loadCrates(library).empty());

    std::filesystem::remove(library / "SmartCrates");
    std::filesystem::create_directory(library / "SmartCrates");
    crate("Subcrates", "Smart Crates.crate", {"plain.mp3"});
    crate("SmartCrates", "Techno.scrate", {"smart.mp3"});
    const auto forest = loadCrates(library);
    ASSERT_EQ(forest.size(), 1u);
    EXPECT_FALSE(forest[0]->isSmart);
    EXPECT_TRUE(forest[0]->isLeaf());
    EXPECT_EQ(names(forest[0]->children), Names{"Techno"});
    EXPECT_TRUE(forest[0]->children[0]->isSmart);
}

// Plain crates at the top, 15 smart crates below "Smart Crates"; per-file track counts are
// checked with the crate reader.
TEST(LoadCrates, RealMacLibrary) {
    TempDir dir;
    const auto library = test::copyFixture("macos-library/_Serato_", dir.path());
    const auto forest = loadCrates(library);
    ASSERT_EQ(names(forest),
              (Names{"breaks", "Gold", "JAM", "Scratch", "Smart Crates", "so old- so good"}));
    const Crate* smart = find(forest, "Smart Crates");
    EXPECT_EQ(smart->children.size(), 15u);
    EXPECT_EQ(smart->totalTrackCount(), 5007u);
    const Crate* beats = find(smart->children,
                              "Scratch\xE2\x89\xAB\xE2\x89\xAB"
                              "Beats");
    ASSERT_NE(beats, nullptr);
    EXPECT_EQ(beats->tracks.size(), 64u);
    // Stored paths have no leading slash; they come back absolute on the library's volume.
    EXPECT_EQ(find(forest, "Gold")
                  ->tracks[0]
                  .rfind(volumeMountPrefix(library) + "/Users/djjed/Music/", 0),
              0u);
}

}  // namespace
}  // namespace morrowdeck::SeratoLibrary
