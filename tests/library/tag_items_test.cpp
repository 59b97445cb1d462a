// The tag rules on plain item lists: which item wins for every field, how numbers and texts
// become tempo, and the duration, rate and size texts.
#include "library/tag_items.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace morrowdeck::SeratoDatabase {
namespace {

// The fields the rules fill, as "name=value" for each present one, for compact expectations.
std::string describe(const Entry& entry) {
    std::string out;
    const auto add = [&](const char* name, const std::optional<std::string>& value) {
        if (!value) return;
        if (!out.empty()) out += "|";
        out += name + ("=" + *value);
    };
    add("title", entry.title);
    add("artist", entry.artist);
    add("album", entry.album);
    add("genre", entry.genre);
    add("year", entry.year);
    add("bpm", entry.bpm);
    add("key", entry.key);
    add("length", entry.length);
    add("bitrate", entry.bitrate);
    add("sampleRate", entry.sampleRate);
    return out;
}

TagItem common(std::string key, std::optional<std::string> text) {
    return {"", std::move(key), std::move(text), std::nullopt};
}

TagItem text(std::string id, std::optional<std::string> value) {
    return {std::move(id), std::nullopt, std::move(value), std::nullopt};
}

TagItem number(std::string id, std::optional<double> value,
               std::optional<std::string> fallback = std::nullopt) {
    return {std::move(id), std::nullopt, std::move(fallback), value};
}

struct ItemCase {
    const char* name;
    std::vector<TagItem> common;
    std::vector<TagItem> format;
    std::string expected;
};

class TagPrecedence : public testing::TestWithParam<ItemCase> {};

TEST_P(TagPrecedence, FillsFields) {
    Entry entry;
    applyTags(entry, GetParam().common, GetParam().format, AudioFacts{});
    EXPECT_EQ(describe(entry), GetParam().expected);
}

const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    TagItems, TagPrecedence,
    testing::Values(
        ItemCase{"LaterTitleWins",
                 {common("title", "A"), common("artist", "X"), common("albumName", "Y"),
                  common("other", "Z"), common("title", "B")},
                 {},
                 "title=B|artist=X|album=Y"},
        ItemCase{"EmptyOrMissingCommonTextSkipped",
                 {common("title", "A"), common("title", ""), common("title", std::nullopt),
                  text("id3/TIT2", "no key")},
                 {},
                 "title=A"},
        ItemCase{"FirstTypeWins",
                 {common("type", "House"), common("type", "Techno")},
                 {},
                 "genre=House"},
        ItemCase{"CreationDateBeatsLaterTdrc",
                 {common("creationDate", "2019-05-04T10:00:00Z")},
                 {text("id3/TDRC", "2021")},
                 "year=2019"},
        ItemCase{"CommonTypeBeatsTcon",
                 {common("type", "Techno")},
                 {text("id3/TCON", "House")},
                 "genre=Techno"},
        ItemCase{"EmptyTconBlocksLaterOnes",
                 {},
                 {text("id3/TCON", ""), text("id3/TCON", "House")},
                 "genre="},
        ItemCase{"UnreadableTconDoesNotBlock",
                 {},
                 {text("id3/TCON", std::nullopt), text("id3/TCON", "House")},
                 "genre=House"},
        ItemCase{"YearIsFirstFourCharacters",
                 {},
                 {text("id3/TYER", "2019-05"), text("id3/TDRC", "2020")},
                 "year=2019"},
        ItemCase{"YearPrefixCountsCharactersNotBytes",
                 {},
                 {text("id3/TDRC", "\uFF12\uFF10\uFF11\uFF19\u5E74")},
                 "year=\uFF12\uFF10\uFF11\uFF19"},
        ItemCase{"TempoNumberRounded", {}, {number("id3/TBPM", 127.999)}, "bpm=128.00"},
        ItemCase{
            "TempoTextWhenNoNumber", {}, {number("itsk/tmpo", std::nullopt, "120")}, "bpm=120.00"},
        ItemCase{"TempoTextNotANumberKeepsEarlier",
                 {},
                 {number("id3/TBPM", 100), text("id3/TBPM", "120 BPM"), text("id3/TBPM", " 120"),
                  text("id3/TBPM", "nan")},
                 "bpm=100.00"},
        ItemCase{"InfiniteTempoFallsBackToText",
                 {},
                 {number("id3/TBPM", kInf, "99"), number("id3/TBPM", kInf, "inf")},
                 "bpm=99.00"},
        ItemCase{"LastTempoWins",
                 {},
                 {number("id3/TBPM", 120), number("asf/WM/BeatsPerMinute", 126)},
                 "bpm=126.00"},
        ItemCase{"TempoIdentifiersAreCaseSensitive",
                 {},
                 {number("id3/tbpm", 120), number("itsk/TMPO", 121)},
                 ""},
        ItemCase{"LowerCaseTkeyIgnored", {}, {text("id3/tkey", "8A")}, ""},
        ItemCase{"InitialKeyInAnyCase",
                 {},
                 {text("itlk/com.apple.iTunes.InitialKEY", "8A"), text("id3/TKEY", "9A")},
                 "key=8A"},
        ItemCase{"FirstNonEmptyKeyWins",
                 {},
                 {text("id3/TKEY", ""), text("id3/TKEY", std::nullopt), text("id3/TKEY", "5B"),
                  text("id3/TKEY", "6B")},
                 "key=5B"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct FactsCase {
    const char* name;
    AudioFacts facts;
    std::string expected;
};

class TagAudioFacts : public testing::TestWithParam<FactsCase> {};

TEST_P(TagAudioFacts, FormatsSound) {
    Entry entry;
    applyTags(entry, {}, {}, GetParam().facts);
    EXPECT_EQ(describe(entry), GetParam().expected);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    TagFacts, TagAudioFacts,
    testing::Values(
        FactsCase{"HalfMinute", {59.5, {}, {}, false}, "length=00:59.50"},
        FactsCase{"TenMinutes", {600, {}, {}, false}, "length=10:00.00"},
        FactsCase{"OverAnHour", {3900, {}, {}, false}, "length=65:00.00"},
        FactsCase{"Hundredths", {185.25, {}, {}, false}, "length=03:05.25"},
        FactsCase{"RoundsUpIntoNextMinute", {179.996, {}, {}, false}, "length=03:00.00"},
        FactsCase{"Zero", {0.0, {}, {}, false}, ""},
        FactsCase{"Negative", {-3.0, {}, {}, false}, ""},
        FactsCase{"Infinite", {kInf, {}, {}, false}, ""},
        FactsCase{"NaN", {kNaN, {}, {}, false}, ""},
        FactsCase{"Rates", {{}, 128000.0, 48000.0, true}, "bitrate=128.0kbps|sampleRate=48.0k"},
        FactsCase{"ZeroRates", {{}, 0.0, 0.0, true}, ""},
        FactsCase{"NoAudioTrackNoRates", {61.0, 128000.0, 44100.0, false}, "length=01:01.00"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct SizeCase {
    const char* name;
    std::optional<std::uint64_t> size;
    std::uint32_t sizeBytes;
    std::optional<std::string> sizeStr;
};

class TagSize : public testing::TestWithParam<SizeCase> {};

TEST_P(TagSize, SizeFields) {
    Entry entry;
    applySize(entry, GetParam().size);
    EXPECT_EQ(entry.sizeBytes, GetParam().sizeBytes);
    EXPECT_EQ(entry.sizeStr, GetParam().sizeStr);
}

INSTANTIATE_TEST_SUITE_P(TagSizes, TagSize,
                         testing::Values(SizeCase{"Unknown", std::nullopt, 0, std::nullopt},
                                         SizeCase{"Empty", 0, 0, std::nullopt},
                                         SizeCase{"OneByte", 1, 1, "1byte"},
                                         SizeCase{"Megabytes", 5200000, 5200000, "5.2MB"},
                                         SizeCase{"Saturated", 5000000000u, 4294967295u, "5GB"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(TagNumbers, WholeTextMustBeOneLiteral) {
    EXPECT_EQ(parseNumber("128"), 128.0);
    EXPECT_EQ(parseNumber("-1.5e1"), -15.0);
    for (const char* bad : {"", " 128", "128 ", "128bpm", "0x80", "inf", "nan", "1e999"})
        EXPECT_EQ(parseNumber(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace morrowdeck::SeratoDatabase
