// Track records and the library snapshot: exact field layout, opaque pass-through, and
// byte-for-byte round trips of real Serato databases.
#include <gtest/gtest.h>

#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "platform/file_system.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoDatabase {
namespace {

using Field = std::pair<std::string, Bytes>;

std::vector<Field> fields(ByteView record) {
    std::vector<Field> out;
    eachChunk(record, [&](std::string_view tag, ByteView payload) {
        out.emplace_back(tag, Bytes(payload.begin(), payload.end()));
    });
    return out;
}

std::vector<std::string> tags(ByteView record) {
    std::vector<std::string> out;
    for (const auto& [tag, payload] : fields(record))
        out.push_back(tag);
    return out;
}

Bytes utf16(std::string_view text) {
    return text::encodeUtf16BE(text);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const std::vector<std::string> kFlags{"bhrt", "bmis", "bply", "blop", "bitu", "bovc", "bcrt",
                                      "biro", "bwlb", "bwll", "buns", "bbgl", "bkrk"};

TEST(TrackRecord, MinimalEntry) {
    Entry entry;
    entry.ext = "mp3";
    entry.path = "Music/a.mp3";
    entry.title = "";  // present but empty: no chunk
    const Bytes record = SeratoDatabase::record(entry);
    std::vector<std::string> expected{"ttyp", "pfil", "tadd", "uadd", "utme", "utpc"};
    expected.insert(expected.end(), kFlags.begin(), kFlags.end());
    EXPECT_EQ(tags(record), expected);
    const auto all = fields(record);
    EXPECT_EQ(all[2].second, utf16("0"));
    EXPECT_EQ(all[3].second, (Bytes{0, 0, 0, 0}));
    for (std::size_t i = 6; i < all.size(); ++i)
        EXPECT_EQ(all[i].second, Bytes{0}) << all[i].first;
    EXPECT_EQ(pfil(record), "Music/a.mp3");

    const auto empty = fields(SeratoDatabase::record(Entry{}));
    EXPECT_EQ(empty[0], (Field{"ttyp", {}}));
    EXPECT_EQ(empty[1], (Field{"pfil", {}}));
}

TEST(TrackRecord, FullEntryFieldOrder) {
    Entry entry{"Music/b.flac", "flac",      1652487364, 1652000000, 5200000, "Title",
                "Artist",       "Album",     "Genre",    "128.00",   "8A",    "03:05.25",
                "2021",         "320.0kbps", "44.1k",    "5.2MB"};
    const auto all = fields(SeratoDatabase::record(entry));
    std::vector<std::string> expected{"ttyp", "pfil", "tsng", "tart", "talb", "tgen",
                                      "tlen", "tsiz", "tbit", "tsmp", "tbpm", "ttyr",
                                      "tadd", "tkey", "uadd", "utme", "ufsb", "utpc"};
    expected.insert(expected.end(), kFlags.begin(), kFlags.end());
    std::vector<std::string> actual;
    for (const auto& [tag, payload] : all)
        actual.push_back(tag);
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(all[12].second, utf16("1652487364"));
    EXPECT_EQ(all[14].second, (Bytes{0x62, 0x7E, 0xF4, 0xC4}));
    EXPECT_EQ(all[16].second, (Bytes{0x00, 0x4F, 0x58, 0x80}));
    EXPECT_EQ(all[13].second, utf16("8A"));
}

TEST(TrackRecord, SettingPathKeepsEveryOtherByte) {
    const Bytes ttyp = chunk("ttyp", utf16("mp3"));
    const Bytes tsng = chunk("tsng", utf16("Song"));
    const Bytes odd = Bytes{0xC3, 'x', 'y', 'z', 0, 0, 0, 1, 7};  // non-ASCII tag passes through
    const Bytes newPfil = chunk("pfil", utf16("New/Path.mp3"));

    EXPECT_EQ(record(join({ttyp, chunk("pfil", utf16("old")), tsng, odd}), "New/Path.mp3"),
              join({ttyp, newPfil, tsng, odd}));
    EXPECT_EQ(record(join({ttyp, tsng}), "New/Path.mp3"), join({newPfil, ttyp, tsng}));
    EXPECT_EQ(record(Bytes{}, "New/Path.mp3"), newPfil);

    const Bytes twice = join({chunk("pfil", utf16("first")), tsng, chunk("pfil", utf16("second"))});
    EXPECT_EQ(pfil(twice), "first");
    EXPECT_EQ(record(twice, "New/Path.mp3"), join({newPfil, tsng, newPfil}));
    // An undecodable first pfil lets the next one answer.
    EXPECT_EQ(pfil(join({chunk("pfil", Bytes{0, 'a', 0}), chunk("pfil", utf16("ok"))})), "ok");
    EXPECT_EQ(pfil(tsng), std::nullopt);
}

TEST(TrackRecord, RecordsKeepOrderAndDropPathless) {
    const Bytes a = chunk("pfil", utf16("a.mp3"));
    const Bytes none = chunk("tsng", utf16("no path"));
    const Bytes bad = chunk("pfil", Bytes{0xDC, 0x00});
    const Bytes file =
        join({chunk("vrsn", utf16("2.0/Serato Scratch LIVE Database")), chunk("otrk", a),
              chunk("otrk", none), chunk("otrk", bad), chunk("otrk", a), chunk("oent", a)});
    const auto list = records(file);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, "a.mp3");
    EXPECT_EQ(list[1].record, a);
    EXPECT_TRUE(records(Bytes{1, 2, 3}).empty());
}

TEST(Snapshot, ParseRules) {
    const Bytes r1{1}, r2{2};
    const auto bkrp = [](std::string_view path) { return chunk("bkrp", utf16(path)); };
    EXPECT_TRUE(snapshot({}).empty());
    EXPECT_EQ(parseSnapshot(join({bkrp("A"), bkrp("B"), chunk("otrk", r1)})),
              (std::map<std::string, Bytes>{{"B", r1}}));
    EXPECT_TRUE(parseSnapshot(chunk("otrk", r1)).empty());
    EXPECT_EQ(parseSnapshot(join({bkrp("A"), chunk("otrk", r1), bkrp("A"), chunk("otrk", r2)})),
              (std::map<std::string, Bytes>{{"A", r2}}));
    // An undecodable path drops its record; the next pair still parses.
    EXPECT_EQ(parseSnapshot(join({chunk("bkrp", Bytes{0}), chunk("otrk", r1), chunk("xxxx", {}),
                                  bkrp("C"), chunk("otrk", r2), chunk("otrk", r1)})),
              (std::map<std::string, Bytes>{{"C", r2}}));

    const std::vector<SnapshotPair> pairs{
        {"House/a.mp3", {1, 2}}, {"Café/😀.mp3", {}}, {"House/a.mp3", {3}}};
    EXPECT_EQ(parseSnapshot(snapshot(pairs)),
              (std::map<std::string, Bytes>{{"House/a.mp3", {3}}, {"Café/😀.mp3", {}}}));
}

struct RealDatabase {
    const char* file;
    std::size_t records;
};

class RealDatabaseTest : public testing::TestWithParam<RealDatabase> {};

TEST_P(RealDatabaseTest, SplitAndRejoinIsByteExact) {
    test::TempDir dir;
    const auto copy = test::copyFixture(GetParam().file, dir.path());
    const auto original = platform::readFile(copy);
    ASSERT_TRUE(original);
    const auto list = records(*original);
    EXPECT_EQ(list.size(), GetParam().records);

    std::vector<Bytes> payloads;
    for (const auto& entry : list)
        payloads.push_back(entry.record);
    EXPECT_TRUE(SeratoDatabase::data(payloads) == *original)
        << "re-joined database differs from the original";

    // Rewriting the path changes the pfil chunks and nothing else.
    for (std::size_t i = 0; i < list.size(); i += 97) {
        const Bytes rewritten = record(list[i].record, "Restored/Music/track.mp3");
        const auto before = fields(list[i].record);
        const auto after = fields(rewritten);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t k = 0; k < before.size(); ++k) {
            EXPECT_EQ(before[k].first, after[k].first);
            if (before[k].first == "pfil") {
                EXPECT_EQ(after[k].second, utf16("Restored/Music/track.mp3"));
            } else {
                EXPECT_EQ(before[k].second, after[k].second);
            }
        }
    }

    std::vector<SnapshotPair> pairs;
    for (const auto& entry : list)
        pairs.push_back({entry.path, entry.record});
    const auto parsed = parseSnapshot(snapshot(pairs));
    for (const auto& entry : list)
        EXPECT_TRUE(parsed.contains(entry.path));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealDatabaseTest,
                         testing::Values(RealDatabase{"macos-library/_Serato_/database V2", 5562},
                                         RealDatabase{"database-only/database V2", 3224},
                                         RealDatabase{"usb-drive/_Serato_/database V2", 4}),
                         [](const auto& param) { return test::testName(param.param.file); });

}  // namespace
}  // namespace morrowdeck::SeratoDatabase
