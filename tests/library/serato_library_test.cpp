#include "library/serato_library.h"

#include <gtest/gtest.h>

#include "library/bounded_read.h"
#include "library/crate_writer.h"
#include "library/serato_library_tracks.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoLibrary {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using test::writeFile;

Names names(const std::vector<Crate::Ptr>& crates) {
    Names out;
    for (const auto& crate : crates)
        out.push_back(crate->name);
    return out;
}

TEST(ResolveLibrary, LooksAtTheFolderAndItsDirectChildOnlyDefaultUnderHome) {
    test::TempDir dir;
    const auto library = dir / "Music" / "_Serato_";
    fs::create_directories(library);
    fs::create_directories(dir / "Other" / "_serato_" / "_Serato_");
    writeFile(dir / "File" / "_Serato_", "not a folder");
    EXPECT_EQ(resolveLibrary(library), library);
    EXPECT_EQ(resolveLibrary(dir / "Music"), library);
    EXPECT_EQ(resolveLibrary(dir / "Other" / "_serato_"), dir / "Other" / "_serato_" / "_Serato_");
    for (const auto& none : {dir.path(), dir / "File", dir / "File" / "_Serato_", dir / "missing"})
        EXPECT_EQ(resolveLibrary(none), std::nullopt) << none;
    const test::ScopedHome guard("/home/dj");
    EXPECT_EQ(defaultLibraryLocation(), fs::path("/home/dj/Music/_Serato_"));
}

TEST(NameComponents, SplitTrimAndDrop) {
    const std::pair<const char*, Names> cases[] = {
        {"  House %% Deep ", {"House", "Deep"}}, {"A%%%%B", {"A", "B"}}, {"A%%%B", {"A", "%B"}},
        {"\t%% \xC2\xA0 %%", {}}, {"50% off", {"50% off"}}, {"Line\nBreak", {"Line\nBreak"}}};
    for (const auto& [base, expected] : cases)
        EXPECT_EQ(nameComponents(base), expected) << base;
}

// A library made on the fly, with the awkward entries real folders hold.
class LoadCratesTest : public testing::Test {
  protected:
    void crate(const std::string& folder, const std::string& file, const Names& paths) {
        writeFile(library / folder / test::pathOf(file), CrateWriter::crateData(paths));
    }
    test::TempDir dir;
    fs::path library = dir / "_Serato_";
};

TEST_F(LoadCratesTest, BuildsTheSortedForest) {
    crate("Subcrates", "Genres%%House%%Deep.crate", {"Music/deep1.mp3", "/Music/deep2.mp3"});
    crate("Subcrates", "Genres%%House.CRATE", {"Music/house.mp3"});
    crate("Subcrates", "Deep.crate", {});  // the same name at another depth is another crate
    for (const char* ignored : {"._Genres.crate", "notes.txt", "%%.crate", " .crate"})
        crate("Subcrates", ignored, {"never read"});
    crate("SmartCrates", "Techno%%Peak.scrate", {"Music/peak.mp3"});
    crate("SmartCrates", "Rules only.scrate", {});
    crate("SmartCrates", "....scrate", {});  // dots only: still a name
    crate("SmartCrates", "Wrong kind.crate", {"ignored"});
    // Canonically equivalent names (NFC, NFD) share a node, spelled as the first file in name
    // order, with the files and tracks of both; names differing in case do not.
    const fs::path nfc = library / "Subcrates" / test::pathOf("Caf\xC3\xA9.crate");
    const fs::path nfd = library / "Subcrates" / test::pathOf("Cafe\xCC\x81.crate");
    crate("Subcrates", "Caf\xC3\xA9.crate", {"nfc1.mp3", "nfc2.mp3"});
    crate("Subcrates", "Cafe\xCC\x81.crate", {"nfd.mp3"});
    crate("Subcrates", "Caf\xC3\xA9%%One.crate", {});
    crate("Subcrates", "Cafe\xCC\x81%%Two.crate", {});
    crate("Subcrates", "genres.crate", {});

    const std::string prefix = volumeMountPrefix(library);
    const auto forest = loadCrates(library);
    ASSERT_EQ(names(forest), (Names{"Cafe\xCC\x81", "Deep", "genres", "Genres", "Smart Crates"}));
    EXPECT_EQ(names(forest[0]->children), (Names{"One", "Two"}));
    EXPECT_EQ(forest[0]->crateFiles, (std::vector<fs::path>{nfd, nfc}));  // in name order
    EXPECT_EQ(forest[0]->tracks,
              (Names{prefix + "/nfd.mp3", prefix + "/nfc1.mp3", prefix + "/nfc2.mp3"}));
    const Crate* house = forest[3]->children.at(0).get();
    EXPECT_EQ(house->tracks, Names{prefix + "/Music/house.mp3"});
    EXPECT_EQ(house->crateFileURL, library / "Subcrates" / "Genres%%House.CRATE");
    EXPECT_EQ(house->children.at(0)->tracks,
              (Names{prefix + "/Music/deep1.mp3", prefix + "/Music/deep2.mp3"}));
    EXPECT_NE(forest[1]->id, house->children.at(0)->id);
    const Crate* smart = forest[4].get();
    EXPECT_EQ(names(smart->children), (Names{"...", "Rules only", "Techno"}));
    EXPECT_TRUE(smart->children[1]->isSmart && smart->children[1]->tracks.empty());
    EXPECT_EQ(smart->children[2]->children.at(0)->components,
              (Names{"Smart Crates", "Techno", "Peak"}));
    EXPECT_NE(loadCrates(library)[0]->id, forest[0]->id);  // fresh identifiers on every load
}

// Files that are no regular file, too large to read (sparse: nothing is allocated for them) or
// empty load as crates without tracks, each with one warning naming it (damaged content is the
// parser's to test). Each is read after a good one: no tracks carried over from it. A
// database too large to read leaves the tracks of the crates.
TEST_F(LoadCratesTest, UnreadableFilesGiveNoTracksAndAWarningNeverFailure) {
    crate("Subcrates", "Good.crate", {"a.mp3"});
    fs::create_directories(library / "Subcrates" / "Folder.crate");
    MORROWDECK_SKIP_ON_WINDOWS("no FIFOs");
    ASSERT_TRUE(test::makeFifo(library / "Subcrates" / "Pipe.crate"));
    test::writeSparseFile(library / "Subcrates" / "Huge.crate", 8ull << 30);
    test::writeSparseFile(library / "SmartCrates" / "Big.scrate", maxCrateBytes + 1);
    writeFile(library / "SmartCrates" / "Void.scrate", "");
    test::writeSparseFile(library / "database V2", maxMetadataBytes + 1);
    std::map<std::string, std::size_t> counts;
    std::vector<std::string> warnings;
    for (const auto& crate : withNotInCrate(loadCrates(library, &warnings), library, &warnings))
        for (const auto& leaf : crate->isLeaf() ? std::vector{crate} : crate->children)
            counts[leaf->name] = leaf->tracks.size();
    EXPECT_EQ(counts,
              (std::map<std::string, std::size_t>{
                  {"Big", 0}, {"Folder", 0}, {"Good", 1}, {"Huge", 0}, {"Pipe", 0}, {"Void", 0}}));
    const auto unreadable = [&](const std::string& kind, const fs::path& file,
                                const std::string& why) {
        return "Couldn't read the " + kind + " file " + test::text(library / file) + " (" + why +
               "); its crate is listed without tracks.";
    };
    const std::string tooLarge = "it is larger than the 64 MB such a file can be";
    EXPECT_EQ(
        warnings,
        (Names{unreadable("crate", "Subcrates/Folder.crate", "Is a directory"),
               unreadable("crate", "Subcrates/Huge.crate", tooLarge),
               unreadable("crate", "Subcrates/Pipe.crate", "it is not a regular file"),
               unreadable("smart crate", "SmartCrates/Big.scrate", tooLarge),
               "Smart crate file " + test::text(library / "SmartCrates/Void.scrate") +
                   " is damaged (no Serato header): read 0 track(s).",
               "Couldn't read Serato's track database " + test::text(library / "database V2") +
                   " (it is larger than the 500 MB such a file can be); only the tracks of "
                   "crates are listed."}));
}

// A crate file's bytes do not depend on the system that writes it: the crate made here from
// files on disk equals the committed one, byte for byte, and the committed one reads back as
// the same files. The names are not ASCII (composed and decomposed) and the paths longer than
// Windows' old limit of 260 characters.
TEST_F(LoadCratesTest, CrateFilesAreTheSameOnEverySystem) {
    const fs::path volume = dir / "Drive";
    const std::string deep = std::string(150, 'L') + "/" + std::string(120, 'o');
    const std::vector<fs::path> files{
        volume / test::pathOf("Music/Caf\xC3\xA9/Cafe\xCC\x81.mp3"),
        volume / test::pathOf("Music/" + deep + "/t\xF0\x9F\x98\x80.flac")};
    Names stored, absolute;
    for (const auto& file : files) {
        writeFile(file, "audio");
        stored.push_back(CrateWriter::volumeRelativePath(file, test::text(volume)));
        absolute.push_back(test::text(file));
    }
    ASSERT_GT(absolute[1].size(), 260u);
    const auto expected = test::readBytes(fs::path(MORROWDECK_TEST_DATA) / "crates/portable.crate");
    const auto crate = volume / "_Serato_" / "Subcrates" / test::pathOf("Caf\xC3\xA9.crate");
    writeFile(crate, CrateWriter::crateData(stored));
    EXPECT_EQ(test::readBytes(crate), expected);

    writeFile(crate, expected);
    LoadOptions options;
    options.volumePrefix = test::text(volume);
    options.masterDatabase = dir / "no master.sqlite";
    const auto forest = load(volume / "_Serato_", options).forest;
    ASSERT_EQ(forest.size(), 1u);
    EXPECT_EQ(forest[0]->name, "Caf\xC3\xA9");
    EXPECT_EQ(forest[0]->tracks, absolute);
    for (const auto& track : forest[0]->tracks)
        EXPECT_TRUE(fs::is_regular_file(test::pathOf(track))) << track;
}

// A plain crate named "Smart Crates" takes the smart crates as its children; missing folders
// (or a file where one should be) give no crates.
TEST_F(LoadCratesTest, MissingFoldersAndPlainSmartCratesGroup) {
    EXPECT_TRUE(loadCrates(dir / "nowhere").empty());
    writeFile(library / "SmartCrates", "a file where a folder should be");
    EXPECT_TRUE(loadCrates(library).empty());
    fs::remove(library / "SmartCrates");
    crate("Subcrates", "Smart Crates.crate", {"plain.mp3"});
    crate("SmartCrates", "Techno.scrate", {"smart.mp3"});
    const auto forest = loadCrates(library);
    ASSERT_EQ(forest.size(), 1u);
    EXPECT_FALSE(forest[0]->isSmart);
    EXPECT_EQ(forest[0]->tracks.size(), 1u);
    EXPECT_EQ(names(forest[0]->children), Names{"Techno"});
    EXPECT_TRUE(forest[0]->children[0]->isSmart);
}

// Plain crates at the top, 15 smart crates below "Smart Crates"; stored paths have no leading
// slash and come back absolute on the library's volume. Tracks only in smart crates count as
// not in a crate.
TEST(LoadCrates, RealLibraries) {
    test::TempDir dir;
    const auto library = test::copyFixture("macos-library/_Serato_", dir / "mac");
    const auto forest = loadCrates(library);
    ASSERT_EQ(names(forest),
              (Names{"breaks", "Gold", "JAM", "Scratch", "Smart Crates", "so old- so good"}));
    EXPECT_EQ(forest[4]->children.size(), 15u);
    EXPECT_EQ(forest[4]->totalTrackCount(), 5007u);
    EXPECT_TRUE(forest[1]->tracks[0].starts_with(volumeMountPrefix(library) + "/Users/djjed/Music/"));
    // 4 tracks of the smart crates' saved lists are not in the database.
    EXPECT_EQ(tracksNotInCrates(library, forest).size(), 5562u - 142 + 4);
    const auto usb = test::copyFixture("usb-drive/_Serato_", dir / "usb");
    EXPECT_EQ(tracksNotInCrates(usb, loadCrates(usb)).size(), 4u - 3);
}

}  // namespace
}  // namespace morrowdeck::SeratoLibrary
