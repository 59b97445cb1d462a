// Chunk walk, crate reader and crate writer: exact bytes, damaged input, real crate files.
#include <gtest/gtest.h>

#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "platform/file_system.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes utf16(std::string_view text) {
    return text::encodeUtf16BE(text);
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes track(std::string_view path) {
    return SeratoDatabase::chunk("otrk", SeratoDatabase::chunk("ptrk", utf16(path)));
}

Bytes header() {
    return SeratoDatabase::chunk("vrsn", utf16(CrateWriter::crateVersion));
}

std::vector<std::pair<std::string, Bytes>> walk(const Bytes& data) {
    std::vector<std::pair<std::string, Bytes>> chunks;
    SeratoDatabase::eachChunk(
        data, [&](std::string_view tag, std::span<const std::uint8_t> payload) {
            chunks.emplace_back(std::string(tag), Bytes(payload.begin(), payload.end()));
        });
    return chunks;
}

TEST(ChunkFormat, ExactBytes) {
    EXPECT_EQ(SeratoDatabase::chunk("otrk", {}), (Bytes{'o', 't', 'r', 'k', 0, 0, 0, 0}));

    const Bytes crate = CrateWriter::crateData({"a"});
    ASSERT_EQ(crate.size(), 82u);
    EXPECT_EQ(Bytes(crate.begin(), crate.begin() + 8), (Bytes{'v', 'r', 's', 'n', 0, 0, 0, 0x38}));
    EXPECT_EQ(Bytes(crate.begin() + 8, crate.begin() + 64), utf16("1.0/Serato ScratchLive Crate"));
    EXPECT_EQ(Bytes(crate.begin() + 64, crate.end()),
              (Bytes{'o', 't', 'r', 'k', 0, 0, 0, 0x0A, 'p', 't', 'r', 'k', 0, 0, 0, 2, 0, 'a'}));

    EXPECT_EQ(CrateWriter::crateData({}), header());
    EXPECT_EQ(SeratoDatabase::u32(0x01020304), (std::array<std::uint8_t, 4>{1, 2, 3, 4}));

    Bytes out;
    SeratoDatabase::str(out, "tsng", std::string());
    SeratoDatabase::str(out, "tsng", std::nullopt);
    EXPECT_TRUE(out.empty());  // empty text writes nothing, unlike an empty chunk
    SeratoDatabase::str(out, "tsng", "é😀");
    EXPECT_EQ(out, concat({ascii("tsng"), Bytes{0, 0, 0, 6, 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00}}));
}

TEST(ChunkFormat, DatabaseFileLayout) {
    const Bytes empty = SeratoDatabase::data({});
    EXPECT_EQ(empty, SeratoDatabase::chunk("vrsn", utf16("2.0/Serato Scratch LIVE Database")));
    const Bytes file = SeratoDatabase::data({Bytes{1, 2}, Bytes{}});
    const auto chunks = walk(file);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1], (std::pair<std::string, Bytes>{"otrk", Bytes{1, 2}}));
    EXPECT_EQ(chunks[2], (std::pair<std::string, Bytes>{"otrk", Bytes{}}));
}

struct WalkCase {
    const char* name;
    Bytes data;
    std::vector<std::string> tags;
};

class ChunkWalkTest : public testing::TestWithParam<WalkCase> {};

TEST_P(ChunkWalkTest, DeliversCompleteChunksOnly) {
    std::vector<std::string> tags;
    for (const auto& [tag, payload] : walk(GetParam().data))
        tags.push_back(tag);
    EXPECT_EQ(tags, GetParam().tags);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChunkWalkTest,
    testing::Values(WalkCase{"Empty", {}, {}},
                    WalkCase{"SevenBytes", Bytes{'o', 't', 'r', 'k', 0, 0, 0}, {}},
                    WalkCase{"ZeroLength", SeratoDatabase::chunk("abcd", {}), {"abcd"}},
                    WalkCase{"TrailingPartialHeader",
                             concat({SeratoDatabase::chunk("abcd", {}), Bytes{1, 2, 3}}),
                             {"abcd"}},
                    WalkCase{"DeclaresFourGigabytes",
                             concat({SeratoDatabase::chunk("abcd", {}), ascii("otrk"),
                                     Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1}}),
                             {"abcd"}},
                    WalkCase{"RunsPastTheEnd",
                             concat({SeratoDatabase::chunk("abcd", {}), ascii("otrk"),
                                     Bytes{0, 0, 0, 100}, Bytes(40, 0)}),
                             {"abcd"}},
                    WalkCase{"NonAsciiTag",
                             concat({Bytes{'o', 0xF4, 'r', 'k', 0, 0, 0, 1, 9},
                                     SeratoDatabase::chunk("next", {})}),
                             {"", "next"}}),
    [](const auto& param) { return std::string(param.param.name); });

struct CrateCase {
    const char* name;
    Bytes data;
    std::vector<std::string> paths;
};

class CrateReaderTest : public testing::TestWithParam<CrateCase> {};

TEST_P(CrateReaderTest, TrackPaths) {
    EXPECT_EQ(CrateParser::trackPaths(GetParam().data, ""), GetParam().paths);
}

Bytes otrkOf(std::initializer_list<Bytes> fields) {
    return SeratoDatabase::chunk("otrk", concat(fields));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CrateReaderTest,
    testing::Values(
        CrateCase{"OtherChunksSkipped",
                  concat({header(), SeratoDatabase::chunk("osrt", ascii("xyz")), track("a.mp3"),
                          track("b.mp3")}),
                  {"/a.mp3", "/b.mp3"}},
        CrateCase{"RecordsAppendedAfterColumns",
                  concat({header(), track("a.mp3"), SeratoDatabase::chunk("ovct", Bytes(10, 1)),
                          track("a.mp3")}),
                  {"/a.mp3", "/a.mp3"}},
        CrateCase{
            "TruncatedLastTrack",
            concat({header(), track("a.mp3"), ascii("otrk"), Bytes{0, 0, 0, 100}, Bytes(40, 0)}),
            {"/a.mp3"}},
        CrateCase{"TruncatedSubChunkLosesRestOfTrackOnly",
                  concat({otrkOf({SeratoDatabase::chunk("ptrk", utf16("a")), ascii("ptrk"),
                                  Bytes{0, 0, 0, 9, 0}}),
                          track("b")}),
                  {"/a", "/b"}},
        CrateCase{"SeveralPtrkInOneTrack",
                  concat({otrkOf({SeratoDatabase::chunk("ptrk", utf16("a")),
                                  SeratoDatabase::chunk("tsng", utf16("t")),
                                  SeratoDatabase::chunk("ptrk", utf16("b"))})}),
                  {"/a", "/b"}},
        CrateCase{"BadPathsSkipped",
                  concat({otrkOf({SeratoDatabase::chunk("ptrk", {})}),
                          otrkOf({SeratoDatabase::chunk("ptrk", Bytes{0, 'a', 0})}),
                          otrkOf({SeratoDatabase::chunk("ptrk", Bytes{0xD8, 0x3D, 0, 'a'})}),
                          otrkOf({SeratoDatabase::chunk("ptrk", Bytes{0xDE, 0x00})}), track("ok")}),
                  {"/ok"}},
        CrateCase{"EmptyTrackChunk",
                  concat({header(), SeratoDatabase::chunk("otrk", {}), track("x")}),
                  {"/x"}},
        CrateCase{"ForeignBytes", ascii("this is not a crate file at all"), {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(CratePaths, VolumePrefixes) {
    EXPECT_EQ(CrateParser::absolutePath("/Music/a.mp3", "/Volumes/USB"),
              "/Volumes/USB/Music/a.mp3");
    EXPECT_EQ(CrateParser::absolutePath("Users/dj/a.mp3", ""), "/Users/dj/a.mp3");
    EXPECT_EQ(CrateParser::absolutePath("///Users/dj/a.mp3", ""), "/Users/dj/a.mp3");
    EXPECT_EQ(CrateParser::trackPaths(concat({header(), track("/Music/a.mp3")}), "/Volumes/USB"),
              std::vector<std::string>{"/Volumes/USB/Music/a.mp3"});

    EXPECT_EQ(CrateWriter::volumeRelativePath("/Volumes/USB/Music/a.mp3", "/Volumes/USB"),
              "Music/a.mp3");
    EXPECT_EQ(CrateWriter::volumeRelativePath("/Users/dj/a.mp3", ""), "Users/dj/a.mp3");
    EXPECT_EQ(CrateWriter::volumeRelativePath("/Users/dj/a.mp3", "/Volumes/USB"), "Users/dj/a.mp3");
    // A sibling volume whose name merely starts with the prefix keeps its full path.
    EXPECT_EQ(CrateWriter::volumeRelativePath("/Volumes/USB2/a.mp3", "/Volumes/USB"),
              "Volumes/USB2/a.mp3");

    for (const std::string prefix : {"", "/media/dj/DJ Drive"}) {
        for (const std::string rest : {"/Music/a.mp3", "/Música/Café del Mar/ä 😀.flac", "/x"}) {
            const std::string path = prefix + rest;
            EXPECT_EQ(
                CrateParser::absolutePath(CrateWriter::volumeRelativePath(path, prefix), prefix),
                path);
        }
    }
}

TEST(CratePaths, NfcAndNfdPathsRoundTripByteForByte) {
    const std::string nfc = "Users/dj/Caf\xC3\xA9.mp3";   // é precomposed
    const std::string nfd = "Users/dj/Cafe\xCC\x81.mp3";  // e + combining acute
    const auto paths = CrateParser::trackPaths(CrateWriter::crateData({nfc, nfd}), "");
    EXPECT_EQ(paths, (std::vector<std::string>{"/" + nfc, "/" + nfd}));
}

// Real crates written by Serato: every crate and smart crate loads with the track count
// the file really holds, and the writer reproduces the track list.
struct RealCrate {
    const char* file;
    std::size_t tracks;
};

class RealCrateTest : public testing::TestWithParam<RealCrate> {};

TEST_P(RealCrateTest, ReadsTracksAndRoundTrips) {
    test::TempDir dir;
    const auto copy = test::copyFixture(GetParam().file, dir.path());
    const auto bytes = platform::readFile(copy);
    ASSERT_TRUE(bytes);
    const auto paths = CrateParser::trackPaths(*bytes, "");
    EXPECT_EQ(paths.size(), GetParam().tracks);

    std::vector<std::string> relative;
    for (const auto& path : paths)
        relative.push_back(CrateWriter::volumeRelativePath(path, ""));
    const auto rewritten = CrateWriter::crateData(relative);
    EXPECT_EQ(CrateParser::trackPaths(rewritten, ""), paths);
    // Only the header and one otrk per track are written.
    EXPECT_EQ(walk(rewritten).size(), paths.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealCrateTest,
    testing::Values(RealCrate{"macos-library/_Serato_/Subcrates/Gold.crate", 2},
                    RealCrate{"macos-library/_Serato_/Subcrates/JAM.crate", 31},
                    RealCrate{"macos-library/_Serato_/Subcrates/Scratch.crate", 0},
                    RealCrate{"macos-library/_Serato_/Subcrates/breaks.crate", 109},
                    RealCrate{"macos-library/_Serato_/Subcrates/so old- so good.crate", 2},
                    RealCrate{"macos-library/_Serato_/SmartCrates/hip-Hop.scrate", 3004},
                    RealCrate{"macos-library/_Serato_/SmartCrates/Scratch≫≫Beats.scrate", 64},
                    RealCrate{"macos-library/_Serato_/SmartCrates/r&b.scrate", 471},
                    RealCrate{"single-crate/Serato Demo Tracks.crate", 6},
                    RealCrate{"usb-drive/_Serato_/Subcrates/80s Mashup.crate", 1},
                    RealCrate{"usb-drive/_Serato_/Subcrates/French House.crate", 2}),
    [](const auto& param) { return test::testName(param.param.file); });

}  // namespace
}  // namespace morrowdeck
