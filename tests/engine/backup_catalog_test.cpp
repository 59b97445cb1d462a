// The catalog is written by hand; its bytes must stay those of a JSON library's dump, so
// earlier backups compare equal and every reader parses it.
#include "engine/backup_catalog.h"

#include <gtest/gtest.h>

#include <map>
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
            catalog.crates = {names[0], names[4], names[5], names[8]};
            catalog.names = {{"AC：DC", "AC:DC"}, {names[1], names[5]}};
            catalog.members = {{"home", "/Users/dj/Music/_Serato_", "", "", "", "apfs", "/",
                                "2026-12-09T10:00:00Z"},
                               {"USB", "/Volumes/USB/_Serato_", "/Volumes/USB", "USB",
                                "1A2B-3C4D", "exfat", "/Volumes/USB", names[5]}};
            catalog.tracks[1].member = 1;
        }
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& track : catalog.tracks) {
            list.push_back({{"file", track.file}, {"source", track.source}});
            if (track.member != 0) list.back()["member"] = track.member;
        }
        nlohmann::ordered_json document = {{"version", 1}};
        if (withFolders) {
            document["notInCrateFolder"] = *catalog.notInCrateFolder;
            document["storeFolder"] = catalog.storeFolder;
            document["names"] = catalog.names;
            auto& members = document["members"] = nlohmann::ordered_json::array();
            for (const auto& m : catalog.members)
                members.push_back({{"name", m.name}, {"library", m.library},
                                   {"volumePrefix", m.volumePrefix}, {"label", m.label},
                                   {"uuid", m.uuid}, {"fileSystem", m.fileSystem},
                                   {"mountPoint", m.mountPoint}, {"lastBackedUp", m.lastBackedUp}});
            document["crates"] = *catalog.crates;
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
        EXPECT_EQ(decoded->crates.has_value(), withFolders);
        if (withFolders) {
            EXPECT_EQ(decoded->crates->at(1), names[4]);
            EXPECT_EQ(decoded->names.at("AC：DC"), "AC:DC");
            EXPECT_EQ(decoded->members[0], catalog.members[0]);
            EXPECT_EQ(decoded->tracks[1].member, 1u);
        }
    }
    const auto empty = BackupCatalog{}.encode();
    EXPECT_EQ(std::string(empty.begin(), empty.end()), "{\n\t\"version\": 1,\n\t\"tracks\": []\n}");
    BackupCatalog noCrates;
    noCrates.crates.emplace();
    const auto none = noCrates.encode();
    EXPECT_EQ(std::string(none.begin(), none.end()),
              "{\n\t\"version\": 1,\n\t\"crates\": [],\n\t\"tracks\": []\n}");
}

// A run of some crates keeps the crates an earlier run recorded while the library still has
// them, and the folder of the tracks in no crate; a crate renamed or removed since goes, with
// its tracks. An earlier version's catalog names its crates only through its tracks, so its
// crates without tracks are not known.
TEST(BackupCatalog, KeepsTheEarlierCratesTheLibraryStillHas) {
    const auto stillACrate = [](const std::string& folder) {
        return folder == "A" || folder == "Empty" || folder == "a";
    };
    for (const bool earlierListsCrates : {true, false}) {
        BackupCatalog earlier;
        earlier.tracks = {{"A/a.mp3", "M/a.mp3"},
                          {"Old/o.mp3", "M/o.mp3"},
                          {"B/b.mp3", "M/b.mp3"},
                          {"Loose/n.mp3", "M/n.mp3"}};
        earlier.notInCrateFolder = "Loose";
        earlier.storeFolder = ".Store";
        if (earlierListsCrates) earlier.crates = {"A", "Old", "B", "Loose", "Empty"};
        // A crate stored under another name is asked for by its own; its names stay with it.
        earlier.tracks.push_back({"‛a/Why？.mp3", "M/w.mp3"});
        if (earlierListsCrates) earlier.crates->push_back("‛a");
        earlier.names = {{"‛a", "a"}, {"‛a/Why？.mp3", "Why?.mp3"}, {"Old/x？", "x?"}};
        EXPECT_EQ(earlier.originalPath("‛a/Why？.mp3"), "a/Why?.mp3");
        BackupCatalog catalog;
        catalog.crates = {"B"};
        catalog.tracks = {{"B/b2.mp3", "M/b2.mp3"}};
        catalog.keepOthersFrom(earlier, stillACrate);

        std::vector<std::string> crates{"B", "A", "Loose"};
        if (earlierListsCrates) crates.push_back("Empty");  // a crate without tracks
        crates.push_back("‛a");
        EXPECT_EQ(*catalog.crates, crates);
        std::vector<std::string> files;
        for (const auto& track : catalog.tracks)
            files.push_back(track.file);
        EXPECT_EQ(files, (std::vector<std::string>{"B/b2.mp3", "A/a.mp3", "Loose/n.mp3",
                                                   "‛a/Why？.mp3"}));
        EXPECT_EQ(catalog.names, (std::map<std::string, std::string>{
                                     {"‛a", "a"}, {"‛a/Why？.mp3", "Why?.mp3"}}));
        EXPECT_EQ(catalog.notInCrateFolder, "Loose");
        EXPECT_EQ(catalog.storeFolder, ".Store");
    }
}

// A drive that was not connected for a run loses nothing: its member, its tracks (also in a
// crate folder this run holds) and its crates without a track of this run stay, and each
// index follows its member to its place in the new list. A track naming a member the catalog
// does not have is dropped when read.
TEST(BackupCatalog, KeepsWhatAMemberNotConnectedHad) {
    const auto member = [](std::string name) {
        BackupCatalog::Member named;
        named.name = std::move(name);
        return named;
    };
    BackupCatalog earlier;
    earlier.members = {member("USB"), member("home")};
    earlier.crates = {"House", "Gigs", "Gone"};
    earlier.tracks = {{"House/u.mp3", "Music/u.mp3", 0},
                      {"House/h.mp3", "Users/dj/h.mp3", 1},
                      {"Gigs/g？.mp3", "Music/g?.mp3", 0},
                      {"Gone/x.mp3", "Users/dj/x.mp3", 1}};
    earlier.names = {{"Gigs/g？.mp3", "g?.mp3"}};
    BackupCatalog catalog;
    catalog.members = {member("home")};
    catalog.crates = {"House"};
    catalog.tracks = {{"House/h.mp3", "Users/dj/h.mp3", 0}};
    ASSERT_EQ(catalog.missingMembers(earlier).size(), 1u);
    EXPECT_EQ(catalog.missingMembers(earlier)[0].name, "USB");
    catalog.keepOthersFrom(earlier, [](const std::string&) { return false; });
    EXPECT_EQ(*catalog.crates, (std::vector<std::string>{"House", "Gigs"}));
    ASSERT_EQ(catalog.members.size(), 2u);
    EXPECT_EQ(catalog.members[1].name, "USB");
    std::vector<std::pair<std::string, std::size_t>> tracks;
    for (const auto& track : catalog.tracks)
        tracks.emplace_back(track.file, track.member);
    EXPECT_EQ(tracks, (std::vector<std::pair<std::string, std::size_t>>{
                          {"House/h.mp3", 0}, {"House/u.mp3", 1}, {"Gigs/g？.mp3", 1}}));
    EXPECT_EQ(catalog.names.at("Gigs/g？.mp3"), "g?.mp3");

    const std::string stray = R"({"members": [{"name": "home"}], "tracks": [
        {"file": "A/a.mp3", "source": "a.mp3", "member": 1}, {"file": "A/b.mp3", "source": "b"}]})";
    const auto decoded = BackupCatalog::decode(
        std::vector<std::uint8_t>(stray.begin(), stray.end()));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->tracks.size(), 1u);
    EXPECT_EQ(decoded->tracks[0].file, "A/b.mp3");
}

}  // namespace
}  // namespace morrowdeck
