// Giving back the library that went in: crate files, the crate order file, the database and
// track paths as Serato wrote them, checked against real Serato files where they hold the case.
#include <gtest/gtest.h>

#include <algorithm>

#include "library/crate_order.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_library.h"
#include "library/serato_library_tracks.h"
#include "library/text_encoding.h"
#include "library/unicode_text.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string cafeNfc = "Caf\xC3\xA9";
const std::string cafeNfd = "Cafe\xCC\x81";

Bytes fixture(const fs::path& relative) {
    return test::readBytes(test::fixturesRoot() / relative);
}

TEST(CrateOrder, RealFileRoundTripsDamageIsSkippedAndMergeKeepsSavedOrder) {
    const Bytes real = fixture("macos-library/_Serato_/neworder.pref");
    EXPECT_EQ(CrateOrder::data(CrateOrder::parse(real)), real);

    const auto utf16 = [](std::string_view text) { return text::encodeUtf16BE(text); };
    Bytes damaged = utf16("[crate]A\n?x\n[crate]B");
    damaged[18] = 0xD8, damaged[19] = 0;  // a lone surrogate instead of "?"
    damaged.push_back('C');
    const std::vector<std::pair<Bytes, Names>> cases{
        {utf16("[begin record]\r\n[crate]A\r\n[crate]B\r\n[end record]\r\n"), {"A", "B"}},
        {utf16("junk\n[crate]\n[Crate]X\n [crate]Y\n[crate]A"), {"A"}},  // no end record
        {damaged, {"A", "B"}},  // an odd byte at the end belongs to no line
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(CrateOrder::parse(input), expected) << testing::PrintToString(input);

    // Merge: the saved order first, restored names in name order, then the existing ones.
    EXPECT_EQ(
        CrateOrder::merge({"Zed", cafeNfc, "Gone", "Zed"},
                          {"set 10", cafeNfd, "Alpha", "set 2", "Zed"}, {"Mine", "Alpha", "Other"}),
        (Names{"Zed", cafeNfc, "Gone", "Alpha", "set 2", "set 10", "Mine", "Other"}));
}

TEST(NotInACrate, EveryRecordNoRegularCrateHolds) {
    test::TempDir dir;
    // Paths compare by canonical equivalence; a record listed twice counts once.
    std::vector<Bytes> records;
    for (const auto& path : Names{"m/" + cafeNfd, "m/b", "m/" + cafeNfc, "m/b", "m/c"})
        records.push_back(SeratoDatabase::record({}, path));
    test::writeFile(dir / "database V2", SeratoDatabase::data(records));
    test::writeFile(dir / "Subcrates" / "A.crate", CrateWriter::crateData({"m/" + cafeNfc}));
    const std::string prefix = SeratoLibrary::volumeMountPrefix(dir.path()) + "/";
    EXPECT_EQ(SeratoLibrary::tracksNotInCrates(dir.path(), SeratoLibrary::loadCrates(dir.path())),
              (Names{prefix + "m/b", prefix + "m/c"}));
    // The entry follows the crates; a crate already named so pushes it to a numbered name.
    test::writeFile(dir / "Subcrates" / "Not in a crate.crate", CrateWriter::crateData({}));
    const auto forest = SeratoLibrary::withNotInCrate(SeratoLibrary::loadCrates(dir.path()), dir.path());
    ASSERT_EQ(forest.size(), 3u);
    EXPECT_TRUE(forest[2]->isNotInCrate && forest[2]->isLeaf());
    EXPECT_EQ(forest[2]->components, Names{"Not in a crate (2)"});
}

TEST(DatabaseMerge, RestoredRecordsReplaceEquivalentPathsOthersStay) {
    const Bytes existing = fixture("macos-library/_Serato_/database V2");
    const auto before = SeratoDatabase::records(existing);
    const auto accented = std::find_if(before.begin(), before.end(), [](const auto& record) {
        return text::nfdForm(record.path) != record.path;
    });
    ASSERT_NE(accented, before.end());
    // The restored record spells the path in the other normalisation form.
    const Bytes replaced = SeratoDatabase::record(accented->record, text::nfdForm(accented->path));
    const Bytes added = SeratoDatabase::record({}, "Users/dj/new.mp3");
    std::vector<Bytes> expected;
    for (const auto& record : before)
        expected.push_back(&record == &*accented ? replaced : record.record);
    expected.push_back(added);
    EXPECT_TRUE(SeratoDatabase::merge(existing, {added, replaced, added}) ==
                SeratoDatabase::data(expected));

    EXPECT_EQ(SeratoDatabase::merge({}, {added}), SeratoDatabase::data({added}));
    Bytes truncated = SeratoDatabase::data({replaced});  // a tail new records cannot follow
    truncated.pop_back();
    EXPECT_EQ(SeratoDatabase::merge(truncated, {added}), SeratoDatabase::data({added}));
}

TEST(TrackFile, ResolveTriesTheStoredPathThenNfcThenNfd) {
    test::TempDir dir;
    for (const auto& file : Names{"a/" + cafeNfc, "a/" + cafeNfd, "c/" + cafeNfc, "d/" + cafeNfd})
        test::writeFile(dir / test::pathOf(file), "");
    const auto at = [&](const std::string& file) { return dir / test::pathOf(file); };
    const auto resolve = [&](const std::string& file) {
        return SeratoLibrary::resolveTrackFile(at(file));
    };
    EXPECT_EQ(resolve("a/" + cafeNfd), at("a/" + cafeNfd));  // both exist: the stored one
    EXPECT_EQ(resolve("c/" + cafeNfd), at("c/" + cafeNfc));
    EXPECT_EQ(resolve("d/" + cafeNfc), at("d/" + cafeNfd));
    EXPECT_EQ(resolve("missing"), std::nullopt);
}

}  // namespace
}  // namespace morrowdeck
