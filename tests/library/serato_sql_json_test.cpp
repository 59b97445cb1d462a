#include "library/serato_sql_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace morrowdeck::SeratoSQL {
namespace {

using Limits = std::numeric_limits<std::int64_t>;

// The exact text: compact, members in a fixed order, absent values and non-finite doubles left
// out, floats with a fraction ("4.0") and integers without.
TEST(SeratoSqlJsonEncode, ExactText) {
    EXPECT_EQ(encodeJson(Library{}), R"({"assets":{},"smartCrates":[]})");
    const double inf = std::numeric_limits<double>::infinity();
    const Library library{{{"all", {4.0, 16711680, 120.0, 3}},
                           {"count", {{}, {}, {}, 0}},
                           {"nonfinite", {std::nan(""), 1, inf, {}}},
                           {"none", {}}},
                          {{"House", "<r/>"}}};
    EXPECT_EQ(encodeJson(library),
              R"({"assets":{"all":{"bpm":120.0,"color":16711680,"playCount":3,"rating":4.0},)"
              R"("count":{"playCount":0},"none":{},"nonfinite":{"color":1}},)"
              R"("smartCrates":[{"name":"House","rules":"<r/>"}]})");
}

// Invalid UTF-8 is replaced rather than thrown.
TEST(SeratoSqlJsonRoundTrip, InvalidUtf8IsReplaced) {
    EXPECT_EQ(decodeJson(encodeJson(Library{{{"bad\xFF", {}}}, {{"n\xC3", "r"}}})),
              (Library{{{"bad\xEF\xBF\xBD", {}}}, {{"n\xEF\xBF\xBD", "r"}}}));
}

// A document whose only asset ("k") or only smart crate is the given JSON.
std::string withAsset(const std::string& asset) {
    return R"({"assets":{"k":)" + asset + R"(},"smartCrates":[]})";
}
std::string withCrate(const std::string& crate) {
    return R"({"assets":{},"smartCrates":[)" + crate + "]}";
}

TEST(SeratoSqlJsonDecode, MembersMissingOrNullAreAbsentUnknownOnesIgnored) {
    const auto asset = [](AssetMeta meta) { return Library{{{"k", meta}}, {}}; };
    const std::pair<std::string, Library> cases[] = {
        {withAsset(R"({"rating":null,"color":null,"bpm":null,"playCount":null})"), asset({})},
        {R"({"v":2,"assets":{"k":{"stars":5,"color":1}},)"
         R"("smartCrates":[{"name":"A","rules":"r","id":9}],"x":null})",
         Library{{{"k", {{}, 1, {}, {}}}}, {{"A", "r"}}}},
        // integers for doubles, integral floats for integers, the 64-bit limits
        {withAsset(R"({"rating":1,"bpm":128})"), asset({1.0, {}, 128.0, {}})},
        {withAsset(R"({"color":7.0,"playCount":1e3})"), asset({{}, 7, {}, 1000})},
        {withAsset(R"({"color":-9223372036854775808,"playCount":9223372036854775807})"),
         asset({{}, Limits::min(), {}, Limits::max()})},
        {withCrate(R"({"name":"a\"\u00e9\n","rules":""})"), Library{{}, {{"a\"\xC3\xA9\n", ""}}}},
    };
    for (const auto& [text, expected] : cases) {
        const auto decoded = decodeJson(text);
        EXPECT_EQ(decoded, expected) << text << "\n  -> " << (decoded ? encodeJson(*decoded) : "-");
    }
}

TEST(SeratoSqlJsonDecode, WrongKindOfAnyKnownMemberFailsTheWholeDocument) {
    std::vector<std::string> texts{
        R"({"smartCrates":[]})", R"({"assets":{}})", R"({"assets":null,"smartCrates":[]})",
        R"({"assets":[],"smartCrates":[]})", R"({"assets":{},"smartCrates":{}})",
        R"([{"assets":{},"smartCrates":[]}])", R"({"assets":{},"smartCrates":[]} x)",
        R"({"assets":{},"smartCr)", "", "{\"assets\":{\"\xFF\":{}},\"smartCrates\":[]}"};
    for (const char* crate : {R"({"rules":"r"})", R"({"name":"A"})", R"({"name":null,"rules":"r"})",
                              R"({"name":"A","rules":1})", R"("A")"})
        texts.push_back(withCrate(crate));
    for (const char* asset :
         {"5", R"({"rating":"0.5"})", R"({"bpm":true})", R"({"color":7.5})",
          R"({"playCount":9223372036854775808})", R"({"color":1e19})", R"({"rating":1e400})"})
        texts.push_back(withAsset(asset));
    for (const auto& text : texts)
        EXPECT_EQ(decodeJson(text), std::nullopt) << text;
}

}  // namespace
}  // namespace morrowdeck::SeratoSQL
