#include "library/serato_sql_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace morrowdeck::SeratoSQL {
namespace {

using nlohmann::json;

TEST(SeratoSqlJsonEncode, ExactMembersNoNullsFloatsAndIntegers) {
    EXPECT_EQ(encodeJson(Library{}), R"({"assets":{},"smartCrates":[]})");

    const double inf = std::numeric_limits<double>::infinity();
    const Library library{{{"all", {4.0, 16711680, 120.0, 3}},
                           {"none", {}},
                           {"count", {{}, {}, {}, 0}},
                           {"nonfinite", {std::nan(""), 1, inf, {}}}},
                          {{"House", "<r/>"}}};
    const std::string text = encodeJson(library);
    EXPECT_EQ(text.find_first_of(" \n"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("rating":4.0)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("bpm":120.0)"), std::string::npos) << text;

    // json equality has no nulls to spare and ignores order, but not the kind of number.
    const json document = json::parse(text);
    EXPECT_EQ(document, json::parse(R"({"assets":{"all":{"rating":4,"color":16711680,"bpm":120,)"
                                    R"("playCount":3},"none":{},"count":{"playCount":0},)"
                                    R"("nonfinite":{"color":1}},)"
                                    R"("smartCrates":[{"name":"House","rules":"<r/>"}]})"));
    for (const auto& [key, asset] : document["assets"].items()) {
        for (const char* name : {"rating", "bpm"}) {
            EXPECT_TRUE(!asset.contains(name) || asset[name].is_number_float()) << key << name;
        }
        for (const char* name : {"color", "playCount"}) {
            EXPECT_TRUE(!asset.contains(name) || asset[name].is_number_integer()) << key << name;
        }
    }
}

TEST(SeratoSqlJsonEncode, InvalidUtf8IsReplacedNotThrown) {
    const Library library{{{"bad\xFF", {}}}, {{"n\xC3", "r"}}};
    std::string text;
    ASSERT_NO_THROW(text = encodeJson(library));
    const auto decoded = decodeJson(text);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->assets.count("bad\xEF\xBF\xBD"), 1u);
    EXPECT_EQ(decoded->smartCrates.at(0).name, "n\xEF\xBF\xBD");
}

TEST(SeratoSqlJsonRoundTrip, EveryValueSurvives) {
    const Library library{
        {{"Music/Caf\xC3\xA9 \"1\".mp3",
          {0.1, std::numeric_limits<std::int64_t>::min(), 5e-324, 0}},
         {"", {}},
         {std::string("nul\0key", 7), {1.0, std::numeric_limits<std::int64_t>::max(), 1e308, -1}},
         {"k", {-0.0, {}, {}, {}}}},
        {{"House", "<rules a=\"1\"/>\n"}, {"", ""}, {"House", "duplicate names kept in order"}}};
    EXPECT_EQ(decodeJson(encodeJson(library)), library);
}

// ---- decoding ----

struct DecodeCase {
    const char* label;
    const char* text;
    std::optional<Library> expected;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.label;
}

class SeratoSqlJsonDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(SeratoSqlJsonDecode, Table) {
    const auto decoded = decodeJson(GetParam().text);
    EXPECT_EQ(decoded, GetParam().expected)
        << GetParam().text << "\n  -> " << (decoded ? encodeJson(*decoded) : "absent");
}

Library assets(std::map<std::string, AssetMeta> map) {
    return {std::move(map), {}};
}
Library crates(std::vector<SmartCrate> list) {
    return {{}, std::move(list)};
}

INSTANTIATE_TEST_SUITE_P(
    Members, SeratoSqlJsonDecode,
    ::testing::Values(
        DecodeCase{"empty", R"({"assets":{},"smartCrates":[]})", Library{}},
        DecodeCase{"full",
                   R"({"assets":{"k":{"rating":0.5,"color":3,"bpm":120.5,"playCount":7}},)"
                   R"("smartCrates":[{"name":"A","rules":"r"}]})",
                   Library{{{"k", {0.5, 3, 120.5, 7}}}, {{"A", "r"}}}},
        DecodeCase{"asset {} has no values", R"({"assets":{"k":{}},"smartCrates":[]})",
                   assets({{"k", {}}})},
        DecodeCase{
            "null members are absent",
            R"({"assets":{"k":{"rating":null,"color":null,"bpm":null,"playCount":null}},"smartCrates":[]})",
            assets({{"k", {}}})},
        DecodeCase{
            "unknown members ignored",
            R"({"v":2,"assets":{"k":{"stars":5,"color":1}},"smartCrates":[{"name":"A","rules":"r","id":9}],"x":null})",
            Library{{{"k", {{}, 1, {}, {}}}}, {{"A", "r"}}}},
        DecodeCase{"integers accepted for doubles",
                   R"({"assets":{"k":{"rating":1,"bpm":128}},"smartCrates":[]})",
                   assets({{"k", {1.0, {}, 128.0, {}}}})},
        DecodeCase{"integral floats accepted for integers",
                   R"({"assets":{"k":{"color":7.0,"playCount":1e3}},"smartCrates":[]})",
                   assets({{"k", {{}, 7, {}, 1000}}})},
        DecodeCase{
            "64-bit integer limits",
            R"({"assets":{"k":{"color":-9223372036854775808,"playCount":9223372036854775807}},"smartCrates":[]})",
            assets({{"k",
                     {{},
                      std::numeric_limits<std::int64_t>::min(),
                      {},
                      std::numeric_limits<std::int64_t>::max()}}})},
        DecodeCase{"escapes in names",
                   R"({"assets":{},"smartCrates":[{"name":"a\"\u00e9\n","rules":""}]})",
                   crates({{"a\"\xC3\xA9\n", ""}})}),
    [](const auto& test) { return std::to_string(test.index); });

INSTANTIATE_TEST_SUITE_P(
    Failures, SeratoSqlJsonDecode,
    ::testing::Values(
        DecodeCase{"missing assets", R"({"smartCrates":[]})", std::nullopt},
        DecodeCase{"missing smartCrates", R"({"assets":{}})", std::nullopt},
        DecodeCase{"null assets", R"({"assets":null,"smartCrates":[]})", std::nullopt},
        DecodeCase{"assets as array", R"({"assets":[],"smartCrates":[]})", std::nullopt},
        DecodeCase{"smartCrates as object", R"({"assets":{},"smartCrates":{}})", std::nullopt},
        DecodeCase{"missing name", R"({"assets":{},"smartCrates":[{"rules":"r"}]})", std::nullopt},
        DecodeCase{"missing rules", R"({"assets":{},"smartCrates":[{"name":"A"}]})", std::nullopt},
        DecodeCase{"null name", R"({"assets":{},"smartCrates":[{"name":null,"rules":"r"}]})",
                   std::nullopt},
        DecodeCase{"numeric rules", R"({"assets":{},"smartCrates":[{"name":"A","rules":1}]})",
                   std::nullopt},
        DecodeCase{"crate not an object", R"({"assets":{},"smartCrates":["A"]})", std::nullopt},
        DecodeCase{"asset not an object", R"({"assets":{"k":5},"smartCrates":[]})", std::nullopt},
        DecodeCase{"rating as text", R"({"assets":{"k":{"rating":"0.5"}},"smartCrates":[]})",
                   std::nullopt},
        DecodeCase{"bpm as bool", R"({"assets":{"k":{"bpm":true}},"smartCrates":[]})",
                   std::nullopt},
        DecodeCase{"fractional color", R"({"assets":{"k":{"color":7.5}},"smartCrates":[]})",
                   std::nullopt},
        DecodeCase{"play count beyond int64",
                   R"({"assets":{"k":{"playCount":9223372036854775808}},"smartCrates":[]})",
                   std::nullopt},
        DecodeCase{"float color beyond int64",
                   R"({"assets":{"k":{"color":1e19}},"smartCrates":[]})", std::nullopt},
        DecodeCase{"number beyond double", R"({"assets":{"k":{"rating":1e400}},"smartCrates":[]})",
                   std::nullopt},
        DecodeCase{"top level array", R"([{"assets":{},"smartCrates":[]}])", std::nullopt},
        DecodeCase{"trailing text", R"({"assets":{},"smartCrates":[]} x)", std::nullopt},
        DecodeCase{"truncated", R"({"assets":{},"smartCr)", std::nullopt},
        DecodeCase{"invalid UTF-8", "{\"assets\":{\"\xFF\":{}},\"smartCrates\":[]}", std::nullopt},
        DecodeCase{"empty text", "", std::nullopt}),
    [](const auto& test) { return std::to_string(test.index); });

}  // namespace
}  // namespace morrowdeck::SeratoSQL
