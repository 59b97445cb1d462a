// Serato's chunk format: exact bytes written, damaged input read safely, and byte-exact round
// trips of real crates and databases.
#include <gtest/gtest.h>

#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoDatabase {
namespace {

using Field = std::pair<std::string, Bytes>;
using Names = std::vector<std::string>;

Bytes ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes utf16(std::string_view text) { return text::encodeUtf16BE(text); }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
Bytes otrk(std::initializer_list<Bytes> fields) { return chunk("otrk", cat(fields)); }
Bytes ptrk(std::string_view path) { return chunk("ptrk", utf16(path)); }
Bytes pfil(std::string_view path) { return chunk("pfil", utf16(path)); }
const Bytes kCrateHeader = chunk("vrsn", utf16(CrateWriter::crateVersion));

std::vector<Field> fields(ByteView data) {
    std::vector<Field> out;
    eachChunk(data, [&](std::string_view tag, ByteView payload) {
        out.emplace_back(tag, Bytes(payload.begin(), payload.end()));
    });
    return out;
}
// The tags of the chunks, each followed by a space.
std::string tagList(ByteView data) {
    std::string out;
    for (const auto& [tag, payload] : fields(data))
        out += tag + " ";
    return out;
}

TEST(ChunkFormat, ExactBytesOfCratesAndDatabases) {
    EXPECT_EQ(
        CrateWriter::crateData({"a"}),
        cat({ascii("vrsn"), Bytes{0, 0, 0, 0x38}, utf16("1.0/Serato ScratchLive Crate"),
             Bytes{'o', 't', 'r', 'k', 0, 0, 0, 0x0A, 'p', 't', 'r', 'k', 0, 0, 0, 2, 0, 'a'}}));
    EXPECT_EQ(
        fields(data({Bytes{1, 2}, Bytes{}})),
        (std::vector<Field>{
            {"vrsn", utf16("2.0/Serato Scratch LIVE Database")}, {"otrk", {1, 2}}, {"otrk", {}}}));
}

// Hostile and truncated input: the walk delivers complete chunks only, the crate reader the
// paths it can decode.
TEST(ChunkFormat, DamagedInput) {
    const Bytes empty = chunk("abcd", {});
    const std::pair<Bytes, const char*> walks[] = {
        {{}, ""},
        {{'o', 't', 'r', 'k', 0, 0, 0}, ""},
        {cat({empty, Bytes{1, 2, 3}}), "abcd "},
        {cat({empty, ascii("otrk"), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1}}), "abcd "},  // 4 GB
        {cat({empty, ascii("otrk"), Bytes{0, 0, 0, 100}, Bytes(40, 0)}), "abcd "},
        {cat({Bytes{'o', 0xF4, 'r', 'k', 0, 0, 0, 1, 9}, chunk("next", {})}), " next "},
    };
    for (const auto& [input, expected] : walks)
        EXPECT_EQ(tagList(input), expected) << testing::PrintToString(input);

    const std::pair<Bytes, Names> crates[] = {
        {cat({kCrateHeader, chunk("osrt", ascii("xyz")), otrk({ptrk("a")}), otrk({ptrk("b")})}),
         {"/a", "/b"}},
        {cat({otrk({ptrk("a")}), chunk("ovct", Bytes(10, 1)), otrk({ptrk("a")})}), {"/a", "/a"}},
        {cat({otrk({ptrk("a")}), ascii("otrk"), Bytes{0, 0, 0, 100}, Bytes(40, 0)}), {"/a"}},
        {cat({otrk({ptrk("a"), ascii("ptrk"), Bytes{0, 0, 0, 9, 0}}), otrk({ptrk("b")})}),
         {"/a", "/b"}},
        {otrk({ptrk("a"), chunk("tsng", utf16("t")), ptrk("b")}), {"/a", "/b"}},
        {cat({otrk({chunk("ptrk", {})}), otrk({chunk("ptrk", Bytes{0, 'a', 0})}), chunk("otrk", {}),
              otrk({ptrk("/")}), otrk({ptrk("ok")})}),
         {"/ok"}},
        {ascii("this is not a crate file at all"), {}},
        // U+0000 cuts a path short for the system: "a<NUL>b" is not read as "a".
        {cat({otrk({chunk("ptrk", cat({utf16("a"), Bytes{0, 0}, utf16("b")}))}),
              otrk({ptrk("a")})}),
         {"/a"}},
    };
    for (const auto& [input, expected] : crates)
        EXPECT_EQ(CrateParser::trackPaths(input, ""), expected) << testing::PrintToString(input);
}

// What a damaged crate or database still gave, for the loader's warning; a path of separators
// only is skipped on purpose, not damage.
TEST(ChunkFormat, ReadReportsOfDamagedFiles) {
    const Bytes good = cat({kCrateHeader, otrk({ptrk("a")}), otrk({ptrk("/")})});  // 100 bytes
    const std::pair<Bytes, std::string> crates[] = {
        {good, ""},
        {cat({good, ascii("otrk"), Bytes{0, 0, 0, 100}, Bytes(4, 0)}),
         ": read 1 track(s), stopped at byte 100 of 112."},
        {cat({good, otrk({chunk("ptrk", Bytes{0, 'a', 0})}), otrk({ascii("ptrk"), Bytes{0, 0, 0, 9}})}),
         ": read 1 track(s), skipped 2 unreadable."},
        {cat({good, otrk({chunk("ptrk", cat({utf16("x"), Bytes{0, 0}, utf16("1")}))}),
              otrk({chunk("ptrk", cat({utf16("x"), Bytes{0, 0}, utf16("2")}))})}),
         ": read 1 track(s), skipped 2 unreadable."},
        {ascii("not a crate"), " (no Serato header): read 0 track(s), stopped at byte 0 of 11."},
    };
    for (const auto& [input, expected] : crates) {
        ReadReport report;
        CrateParser::trackPaths(input, "", &report);
        EXPECT_EQ(report.damaged() ? report.warning("Crate file", "/c", "track") : "",
                  expected.empty() ? "" : "Crate file /c is damaged" + expected);
    }
    ReadReport report;
    records(cat({data({pfil("a")}), otrk({chunk("pfil", Bytes{0})}), Bytes{1, 2}}), &report);
    EXPECT_EQ(report.warning("Database", "/d", "record"),
              "Database /d is damaged: read 1 record(s), skipped 1 unreadable, stopped at byte 107 "
              "of 109.");
}

TEST(ChunkFormat, VolumeRelativePathsRoundTrip) {
    EXPECT_EQ(CrateParser::absolutePath("///Users/dj/a.mp3", ""), "/Users/dj/a.mp3");
    EXPECT_EQ(CrateWriter::volumeRelativePath("/Users/dj/a.mp3", "/Volumes/USB"), "Users/dj/a.mp3");
    // A sibling volume whose name merely starts with the prefix keeps its full path.
    EXPECT_EQ(CrateWriter::volumeRelativePath("/Volumes/USB2/a.mp3", "/Volumes/USB"),
              "Volumes/USB2/a.mp3");
    const std::string nfd = "/media/dj/DJ Drive/Cafe\xCC\x81 \xF0\x9F\x98\x80.flac";
    const auto stored = CrateWriter::volumeRelativePath(test::pathOf(nfd), "/media/dj/DJ Drive");
    EXPECT_EQ(CrateParser::trackPaths(CrateWriter::crateData({stored}), "/media/dj/DJ Drive"),
              Names{nfd});  // kept byte for byte, never normalised
}

// Editing a crate file keeps every chunk it does not change: unknown ones, those after the
// track list and a truncated tail, except where records are appended (the tail would swallow
// them). Replaced records stand where the first one stood.
TEST(CrateFileEdits, EveryOtherChunkIsKept) {
    const Bytes tail{'o', 't', 'r', 'k', 0, 0, 0, 99, 7};
    const auto crate = [&](std::string_view path, bool truncated) {
        return cat({CrateWriter::crateData({"a.mp3"}),
                    otrk({chunk("zzzz", Bytes{1, 2, 3}), ptrk(path)}), truncated ? tail : Bytes{}});
    };
    const auto moveB = [](auto p) { return p == "b.mp3" ? std::optional("B/" + p) : std::nullopt; };
    EXPECT_EQ(CrateWriter::rewriteTrackPaths(crate("b.mp3", true), moveB), crate("B/b.mp3", true));
    EXPECT_EQ(CrateWriter::appendTracks(crate("b.mp3", true), {"c.mp3"}),
              CrateWriter::appendTracks(crate("b.mp3", false), {"c.mp3"}));

    const Bytes sort = chunk("osrt", Bytes{1, 2}), columns = chunk("ovct", Bytes{3}),
                odd = chunk("zzzz", {});
    const Bytes a = otrk({ptrk("a.mp3")}), b = otrk({ptrk("b.mp3")});
    const Bytes cd = cat({otrk({ptrk("c.mp3")}), otrk({ptrk("d.mp3")})});
    const Names c_d{"c.mp3", "d.mp3"};
    EXPECT_EQ(CrateWriter::replaceTracks(cat({kCrateHeader, sort, a, odd, b, columns, tail}), c_d),
              cat({kCrateHeader, sort, cd, odd, columns, tail}));
    EXPECT_EQ(CrateWriter::replaceTracks(cat({kCrateHeader, columns}), c_d),
              cat({kCrateHeader, columns, cd}));
    EXPECT_EQ(CrateWriter::replaceTracks(cat({kCrateHeader, a, b}), {}), kCrateHeader);
    EXPECT_EQ(CrateWriter::replaceTracks(tail, {"c.mp3"}), CrateWriter::crateData({"c.mp3"}));
}

TEST(TrackRecord, NewRecordFieldsInSeratosOrder) {
    const std::string flags = "bhrt bmis bply blop bitu bovc bcrt biro bwlb bwll buns bbgl bkrk ";
    Entry minimal;
    minimal.path = "Music/a.mp3";
    minimal.ext = "mp3";
    minimal.title = "";  // present but empty: no chunk
    auto all = fields(record(minimal));
    EXPECT_EQ(tagList(record(minimal)), "ttyp pfil tadd uadd utme utpc " + flags);
    EXPECT_EQ(all[2].second, utf16("0"));
    EXPECT_EQ(all[3].second, (Bytes{0, 0, 0, 0}));
    for (std::size_t i = 6; i < all.size(); ++i)
        EXPECT_EQ(all[i].second, Bytes{0}) << all[i].first;
    EXPECT_EQ(fields(record(Entry{}))[0], (Field{"ttyp", {}}));

    const Entry full{"Music/b.flac", "flac",      1652487364, 1652000000, 5200000, "Title",
                     "Artist",       "Album",     "Genre",    "128.00",   "8A",    "03:05.25",
                     "2021",         "320.0kbps", "44.1k",    "5.2MB"};
    all = fields(record(full));
    EXPECT_EQ(tagList(record(full)), "ttyp pfil tsng tart talb tgen tlen tsiz tbit tsmp tbpm ttyr "
                                     "tadd tkey uadd utme ufsb utpc " + flags);
    EXPECT_EQ(all[12].second, utf16("1652487364"));
    EXPECT_EQ(all[14].second, (Bytes{0x62, 0x7E, 0xF4, 0xC4}));
    EXPECT_EQ(all[16].second, (Bytes{0x00, 0x4F, 0x58, 0x80}));
}

TEST(TrackRecord, SettingPathKeepsEveryOtherByte) {
    const Bytes ttyp = chunk("ttyp", utf16("mp3")), tsng = chunk("tsng", utf16("Song"));
    const Bytes odd = Bytes{0xC3, 'x', 'y', 'z', 0, 0, 0, 1, 7};  // non-ASCII tag passes through
    const Bytes path = pfil("New/Path.mp3");
    EXPECT_EQ(record(cat({ttyp, pfil("old"), tsng, odd}), "New/Path.mp3"),
              cat({ttyp, path, tsng, odd}));
    EXPECT_EQ(record(cat({ttyp, tsng}), "New/Path.mp3"), cat({path, ttyp, tsng}));
    const Bytes twice = cat({pfil("first"), tsng, pfil("second")});
    EXPECT_EQ(SeratoDatabase::pfil(twice), "first");
    EXPECT_EQ(record(twice, "New/Path.mp3"), cat({path, tsng, path}));
    // An undecodable first pfil lets the next one answer.
    EXPECT_EQ(SeratoDatabase::pfil(cat({chunk("pfil", Bytes{0, 'a', 0}), pfil("ok")})), "ok");

    const Bytes a = pfil("a.mp3");
    const auto list = records(cat({data({}), chunk("otrk", a), otrk({tsng}),
                                   otrk({chunk("pfil", Bytes{0xDC, 0x00})}), chunk("oent", a)}));
    ASSERT_EQ(list.size(), 1u);  // records without a decodable path are dropped
    EXPECT_EQ(list[0].record, a);
}

TEST(Snapshot, ParseRules) {
    const Bytes r1{1}, r2{2};
    const auto bkrp = [](std::string_view path) { return chunk("bkrp", utf16(path)); };
    using Map = std::map<std::string, Bytes>;
    EXPECT_EQ(parseSnapshot(cat({bkrp("A"), bkrp("B"), chunk("otrk", r1)})), (Map{{"B", r1}}));
    EXPECT_EQ(parseSnapshot(cat({bkrp("A"), chunk("otrk", r1), bkrp("A"), chunk("otrk", r2)})),
              (Map{{"A", r2}}));
    // An undecodable path drops its record; the next pair still parses.
    EXPECT_EQ(parseSnapshot(cat({chunk("bkrp", Bytes{0}), chunk("otrk", r1), chunk("xxxx", {}),
                                 bkrp("C"), chunk("otrk", r2), chunk("otrk", r1)})),
              (Map{{"C", r2}}));
}

// Real databases: split into records and re-joined byte for byte.
TEST(RealFiles, DatabasesSplitAndRejoinByteExact) {
    const std::pair<const char*, std::size_t> databases[] = {
        {"macos-library/_Serato_/database V2", 5562},
        {"database-only/database V2", 3224},
        {"usb-drive/_Serato_/database V2", 4}};
    for (const auto& [file, count] : databases) {
        const Bytes original = test::readBytes(test::fixturesRoot() / file);
        std::vector<Bytes> payloads;
        for (const auto& entry : records(original))
            payloads.push_back(entry.record);
        EXPECT_EQ(payloads.size(), count) << file;
        EXPECT_TRUE(SeratoDatabase::data(payloads) == original) << file << " differs when re-joined";
    }
}

}  // namespace
}  // namespace morrowdeck::SeratoDatabase
