// The tag rules on plain item lists: which item wins for every field, how numbers and texts
// become tempo, and the duration, rate and size texts.
#include "library/tag_items.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace morrowdeck::SeratoDatabase {
namespace {

// The fields the rules fill, as "name=value" for each present one, for compact expectations.
std::string describe(const Entry& e) {
    const std::pair<const char*, const std::optional<std::string>&> fields[] = {
        {"title", e.title}, {"artist", e.artist}, {"album", e.album},   {"genre", e.genre},
        {"year", e.year},   {"bpm", e.bpm},       {"key", e.key},       {"length", e.length},
        {"bitrate", e.bitrate}, {"sampleRate", e.sampleRate}};
    std::string out;
    for (const auto& [name, value] : fields)
        if (value) out += (out.empty() ? "" : "|") + std::string(name) + "=" + *value;
    return out;
}

using Text = std::optional<std::string>;
TagItem common(const char* key, Text value) { return {"", key, value, {}}; }
TagItem text(const char* id, Text value) { return {id, {}, value, {}}; }
TagItem number(const char* id, std::optional<double> value, Text fallback = {}) {
    return {id, {}, fallback, value};
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(TagItems, PrecedenceOfItems) {
    struct Case {
        const char* name;
        std::vector<TagItem> common, format;
        std::string expected;
    };
    const Case cases[] = {
        {"CommonItemsLaterTextFirstGenreAndYearBeatFrames",
         {common("title", "A"), common("artist", "X"), common("title", "B"), common("title", ""),
          common("title", std::nullopt), common("albumName", "Y"), common("other", "Z"),
          text("id3/TIT2", "no key"), common("type", "House"), common("type", "Techno"),
          common("creationDate", "2019-05-04T10:00:00Z"), common("creationDate", "2020")},
         {text("id3/TCON", "Trance"), text("id3/TDRC", "2021")},
         "title=B|artist=X|album=Y|genre=House|year=2019"},
        {"EmptyTconBlocksLaterOnesYearIsFirstFourCharacters", {}, {text("id3/TCON", ""),
         text("id3/TCON", "House"), text("id3/TYER", "2019-05"), text("id3/TDRC", "2020")},
         "genre=|year=2019"},
        {"UnreadableTconDoesNotBlockYearCountsCharactersNotBytes", {}, {text("id3/TCON", std::nullopt),
         text("id3/TCON", "House"), text("id3/TDRC", "\uFF12\uFF10\uFF11\uFF19\u5E74")},
         "genre=House|year=\uFF12\uFF10\uFF11\uFF19"},
        {"TempoNumberRounded", {}, {number("id3/TBPM", 127.999)}, "bpm=128.00"},
        {"TempoTextWhenNoNumber", {}, {number("itsk/tmpo", std::nullopt, "120")}, "bpm=120.00"},
        {"TempoTextNotANumberKeepsEarlier", {}, {number("id3/TBPM", 100),
         text("id3/TBPM", "120 BPM"), text("id3/TBPM", " 120"), text("id3/TBPM", "nan")}, "bpm=100.00"},
        {"InfiniteTempoFallsBackToText", {},
         {number("id3/TBPM", kInf, "99"), number("id3/TBPM", kInf, "inf")}, "bpm=99.00"},
        {"LastTempoWins", {}, {number("id3/TBPM", 120), number("asf/WM/BeatsPerMinute", 126)},
         "bpm=126.00"},
        {"TempoAndKeyIdentifiersAreCaseSensitive", {},
         {number("id3/tbpm", 120), number("itsk/TMPO", 121), text("id3/tkey", "8A")}, ""},
        {"InitialKeyInAnyCase", {},
         {text("itlk/com.apple.iTunes.InitialKEY", "8A"), text("id3/TKEY", "9A")}, "key=8A"},
        {"FirstNonEmptyKeyWins", {}, {text("id3/TKEY", ""), text("id3/TKEY", std::nullopt),
         text("id3/TKEY", "5B"), text("id3/TKEY", "6B")}, "key=5B"},
    };
    for (const Case& c : cases) {
        Entry entry;
        applyTags(entry, c.common, c.format, AudioFacts{});
        EXPECT_EQ(describe(entry), c.expected) << c.name;
    }
}

TEST(TagItems, SoundFacts) {
    const std::pair<AudioFacts, std::string> cases[] = {
        {{59.5, {}, {}, false}, "length=00:59.50"}, {{3900, {}, {}, false}, "length=65:00.00"},
        {{179.996, {}, {}, false}, "length=03:00.00"},  // rounded before the split
        {{0.0, {}, {}, false}, ""}, {{kInf, {}, {}, false}, ""}, {{kNaN, {}, {}, false}, ""},
        {{{}, 128000.0, 48000.0, true}, "bitrate=128.0kbps|sampleRate=48.0k"},
        {{{}, 0.0, 0.0, true}, ""},
        {{61.0, 128000.0, 44100.0, false}, "length=01:01.00"}};  // no audio track: no rates
    for (const auto& [facts, expected] : cases) {
        Entry entry;
        applyTags(entry, {}, {}, facts);
        EXPECT_EQ(describe(entry), expected) << facts.durationSeconds.value_or(-1);
    }
}

TEST(TagItems, SizeFields) {
    const std::tuple<std::optional<std::uint64_t>, std::uint32_t, std::optional<std::string>>
        cases[] = {{std::nullopt, 0, std::nullopt}, {0, 0, std::nullopt}, {1, 1, "1byte"},
                   {5000000000u, 4294967295u, "5GB"}};
    for (const auto& [size, sizeBytes, sizeStr] : cases) {
        Entry entry;
        applySize(entry, size);
        EXPECT_EQ(std::tie(entry.sizeBytes, entry.sizeStr), std::tie(sizeBytes, sizeStr));
    }
}

TEST(TagItems, NumberIsTheWholeTextAsOneLiteral) {
    EXPECT_EQ(parseNumber("128"), 128.0);
    EXPECT_EQ(parseNumber("-1.5e1"), -15.0);
    EXPECT_EQ(parseNumber("+128"), 128.0);
    for (const char* bad :
         {"", " 128", "128 ", "128bpm", "0x80", "inf", "nan", "1e999", "+", "+-1", "++1", "+ 1"})
        EXPECT_EQ(parseNumber(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace morrowdeck::SeratoDatabase
