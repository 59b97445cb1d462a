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

// The columns of a track's row keep their kind and every byte: text that is not UTF-8 (a
// BLOB's bytes) goes as hex; a real that is not finite has no JSON form.
TEST(SeratoSqlJsonRoundTrip, FieldsKeepEveryValue) {
    AssetMeta meta{0.5, {}, {}, {}};
    meta.fields = {{"rating", 0.5},
                   {"bpm", 128.0},
                   {"file_size", std::int64_t{-9}},
                   {"comments", std::string("Peak \xF0\x9F\x94\xA5\nline")},
                   {"uuid", std::string("\xFF\0a", 3)},
                   {"corrupt_description", std::monostate{}},
                   {"x_new_column", std::string("7")}};
    const std::string text = encodeJson(Library{{{"k", meta}}, {}});
    EXPECT_EQ(text, R"({"assets":{"k":{"fields":{"bpm":128.0,"comments":"Peak 🔥\nline",)"
                    R"("corrupt_description":null,"file_size":-9,"rating":0.5,)"
                    R"("uuid":{"hex":"ff0061"},"x_new_column":"7"},"rating":0.5}},"smartCrates":[]})");
    std::vector<std::string> skipped;
    EXPECT_EQ(decodeJson(text, &skipped), (Library{{{"k", meta}}, {}}));
    EXPECT_TRUE(skipped.empty());

    meta.fields = {{"bpm", std::numeric_limits<double>::infinity()}};
    EXPECT_EQ(encodeJson(Library{{{"k", meta}}, {}}),
              R"({"assets":{"k":{"fields":{},"rating":0.5}},"smartCrates":[]})");
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

// Only a document that is no JSON or lacks its two lists fails as a whole, with a line that
// says why.
TEST(SeratoSqlJsonDecode, BrokenDocumentFailsAsAWhole) {
    const std::string notJson = "whole file (not valid JSON)";
    const std::string noLists = R"(whole file (no "assets" object and "smartCrates" array))";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"smartCrates":[]})", noLists},
        {R"({"assets":{}})", noLists},
        {R"({"assets":null,"smartCrates":[]})", noLists},
        {R"({"assets":[],"smartCrates":[]})", noLists},
        {R"({"assets":{},"smartCrates":{}})", noLists},
        {R"([{"assets":{},"smartCrates":[]}])", noLists},
        {R"({"assets":{},"smartCrates":[]} x)", notJson},
        {R"({"assets":{},"smartCr)", notJson},
        {"", notJson},
        {"{\"assets\":{\"\xFF\":{}},\"smartCrates\":[]}", notJson},
        {R"({"assets":{"k":{"rating":1e400}},"smartCrates":[])", notJson},
    };
    for (const auto& [text, line] : cases) {
        std::vector<std::string> skipped;
        EXPECT_EQ(decodeJson(text, &skipped), std::nullopt) << text;
        EXPECT_EQ(skipped, std::vector<std::string>{line}) << text;
    }
}

// Containers nested deeper than the limit refuse the whole document, however deep (the
// parse and the line about it never recurse); the limit itself is still read, and a value
// left out shows only its first levels.
TEST(SeratoSqlJsonDecode, DeepNestingIsRefusedWithoutRecursion) {
    const auto nested = [](std::size_t levels, const std::string& open, const std::string& inner,
                           const std::string& close) {
        std::string text;
        for (std::size_t i = 0; i < levels; ++i)
            text += open;
        text += inner;
        for (std::size_t i = 0; i < levels; ++i)
            text += close;
        return text;
    };
    constexpr std::size_t deep = 100'000;
    const std::string tooDeep = "whole file (nested more than 64 levels deep)";
    const std::string cases[] = {
        nested(deep, "[", "", "]"),
        nested(deep, R"({"a":)", "1", "}"),
        withAsset(R"({"rating":)" + nested(deep, "[", "", "]") + "}"),
        withAsset(nested(deep, R"({"a":)", "1", "}")),
        withCrate(nested(deep, "[", "", "]")),
        // 65 levels: the document, "assets", the asset and 62 arrays
        withAsset(R"({"rating":)" + nested(62, "[", "", "]") + "}"),
    };
    for (const auto& text : cases) {
        std::vector<std::string> skipped;
        EXPECT_EQ(decodeJson(text, &skipped), std::nullopt) << text.substr(0, 40);
        EXPECT_EQ(skipped, std::vector<std::string>{tooDeep}) << text.substr(0, 40);
    }
    std::vector<std::string> skipped;
    EXPECT_EQ(decodeJson(withAsset(R"({"rating":)" + nested(61, "[", "", "]") + R"(,"color":2})"),
                         &skipped),
              (Library{{{"k", {{}, 2, {}, {}}}}, {}}));
    EXPECT_EQ(skipped, std::vector<std::string>{R"(rating of "k" ([[[…]]]: not a number))"});
}

// A value of the wrong kind or out of range costs only itself, with a line saying so.
TEST(SeratoSqlJsonDecode, BadValueIsSkippedEverythingElseKept) {
    const std::tuple<std::string, AssetMeta, std::string> assets[] = {
        {R"({"rating":1.5,"color":3})", {{}, 3, {}, {}}, R"(rating of "k" (1.5: not from 0 to 1))"},
        {R"({"rating":-0.5})", {}, R"(rating of "k" (-0.5: not from 0 to 1))"},
        {R"({"rating":"0.5","playCount":2})", {{}, {}, {}, 2}, R"(rating of "k" ("0.5": not a number))"},
        {R"({"bpm":true,"rating":0})", {0.0, {}, {}, {}}, R"(bpm of "k" (true: not a number))"},
        {R"({"color":18446744073709551616})", {},
         R"(color of "k" (1.8446744073709552e+19: not a 64-bit whole number))"},
        {R"({"color":7.5})", {}, R"(color of "k" (7.5: not a 64-bit whole number))"},
        {R"({"bpm":[[[[1]]],2]})", {}, R"(bpm of "k" ([[[…]],2]: not a number))"},
        {R"({"bpm":")" + std::string(100'000, 'x') + R"("})", {},
         R"(bpm of "k" (")" + std::string(59, 'x') + R"(…: not a number))"},
        {R"({"playCount":-1,"color":1})", {{}, 1, {}, {}}, R"(play count of "k" (-1: negative))"},
        {R"({"playCount":9223372036854775808})", {},
         R"(play count of "k" (9223372036854775808: not a 64-bit whole number))"},
        {R"({"fields":3,"color":1})", {{}, 1, {}, {}}, R"(fields of "k" (3: not an object))"},
        {R"({"fields":{"a":[1],"c":1.5}})", {{}, {}, {}, {}, {{"c", 1.5}}},
         R"(field "a" of "k" ([1]: not a value of a database column))"},
        {R"({"fields":{"b":{"hex":"0g"}}})", {{}, {}, {}, {}, {}},
         R"(field "b" of "k" ({"hex":"0g"}: not a value of a database column))"},
        {R"({"fields":{"n":18446744073709551615}})", {{}, {}, {}, {}, {}},
         R"(field "n" of "k" (18446744073709551615: not a value of a database column))"},
    };
    for (const auto& [asset, meta, line] : assets) {
        std::vector<std::string> skipped;
        EXPECT_EQ(decodeJson(withAsset(asset), &skipped), (Library{{{"k", meta}}, {}})) << asset;
        EXPECT_EQ(skipped, std::vector<std::string>{line}) << asset;
    }
    std::vector<std::string> skipped;
    EXPECT_EQ(decodeJson(R"({"assets":{"k":5,"ok":{"rating":1}},"smartCrates":)"
                         R"([{"name":"A"},{"name":"B","rules":"r"},"C",{"name":null,"rules":"r"}]})",
                         &skipped),
              (Library{{{"ok", {1.0, {}, {}, {}}}}, {{"B", "r"}}}));
    EXPECT_EQ(skipped, (std::vector<std::string>{
                           R"(asset "k" (5: not an object))",
                           R"(smart crate 1 ({"name":"A"}: no text name and rules))",
                           R"(smart crate 3 ("C": no text name and rules))",
                           R"(smart crate 4 ({"name":null,"rules":"r"}: no text name and rules))"}));
}

}  // namespace
}  // namespace morrowdeck::SeratoSQL
