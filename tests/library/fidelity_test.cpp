// Giving back the library that went in: crate files, the crate order file, the database and
// track paths as Serato wrote them, checked against real Serato files where they hold the case.
#include <gtest/gtest.h>

#include <algorithm>

#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_library.h"
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

TEST(LoadCrates, DotNamesAreCratesAndEquivalentNamesMergeIntoOne) {
    test::TempDir dir;
    const auto library = dir / "_Serato_";
    test::writeFile(library / "SmartCrates" / "....scrate", CrateWriter::crateData({}));
    const fs::path nfc = library / "Subcrates" / (cafeNfc + ".crate");
    const fs::path nfd = library / "Subcrates" / (cafeNfd + ".crate");
    test::writeFile(nfc, CrateWriter::crateData({"nfc1.mp3", "nfc2.mp3"}));
    test::writeFile(nfd, CrateWriter::crateData({"nfd.mp3"}));

    const auto forest = SeratoLibrary::loadCrates(library);
    EXPECT_EQ(forest.at(1)->children.at(0)->name, "...");
    // Both files, in the loader's name order, and all their tracks.
    EXPECT_EQ(forest[0]->crateFiles, (std::vector<fs::path>{nfd, nfc}));
    const std::string prefix = SeratoLibrary::volumeMountPrefix(library) + "/";
    EXPECT_EQ(forest[0]->tracks,
              (Names{prefix + "nfd.mp3", prefix + "nfc1.mp3", prefix + "nfc2.mp3"}));
}

}  // namespace
}  // namespace morrowdeck
