// The catalog is written by hand; its bytes must stay those of a JSON library's dump, so
// earlier backups compare equal and every reader parses it.
#include "engine/backup_catalog.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace morrowdeck {
namespace {

TEST(BackupCatalog, EncodesAsTheJsonLibraryDumpsAndDecodesBack) {
    const std::vector<std::string> names{
        "Crate/a.mp3", "quote \" and back\\slash", "tab\tline\nreturn\r\b\f", "ctl \x01\x1f\x7f",
        "Café 🔥/Ünïcödé.flac", "bad \xff utf8 \xc3", "overlong \xc0\xaf", "surrogate \xed\xa0\x80",
        "", "/"};
    for (const bool withFolders : {false, true}) {
        BackupCatalog catalog;
        for (std::size_t i = 0; i < names.size(); ++i)
            catalog.tracks.push_back({names[i], names[names.size() - 1 - i]});
        if (withFolders) {
            catalog.notInCrateFolder = "Not in a crate";
            catalog.storeFolder = ".ORVEL_Store";
        }
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& track : catalog.tracks)
            list.push_back({{"file", track.file}, {"source", track.source}});
        nlohmann::ordered_json document = {{"version", 1}};
        if (withFolders) {
            document["notInCrateFolder"] = *catalog.notInCrateFolder;
            document["storeFolder"] = catalog.storeFolder;
        }
        document["tracks"] = std::move(list);
        const std::string expected =
            document.dump(1, '\t', false, nlohmann::ordered_json::error_handler_t::replace);
        const auto bytes = catalog.encode();
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);

        const auto decoded = BackupCatalog::decode(bytes);
        ASSERT_TRUE(decoded);
        ASSERT_EQ(decoded->tracks.size(), names.size());
        EXPECT_EQ(decoded->tracks[4].file, names[4]);
        EXPECT_EQ(decoded->notInCrateFolder, catalog.notInCrateFolder);
        EXPECT_EQ(decoded->storeFolder, catalog.storeFolder);
    }
    const auto empty = BackupCatalog{}.encode();
    EXPECT_EQ(std::string(empty.begin(), empty.end()), "{\n\t\"version\": 1,\n\t\"tracks\": []\n}");
}

}  // namespace
}  // namespace morrowdeck
