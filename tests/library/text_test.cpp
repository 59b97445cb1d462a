// Text helpers: UTF-16BE, Unicode keys and trimming, name order, display formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "library/formatting.h"
#include "library/name_order.h"
#include "library/text_encoding.h"
#include "library/unicode_text.h"

namespace morrowdeck::text {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Utf16, StrictDecoding) {
    EXPECT_EQ(decodeUtf16BE(Bytes{0, 'a', 0x00, 0xE9, 0x20, 0xAC}), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(decodeUtf16BE(Bytes{0xD8, 0x3D, 0xDE, 0x00}), "\xF0\x9F\x98\x80");  // 😀
    EXPECT_EQ(decodeUtf16BE(Bytes{0, 0}), std::string(1, '\0'));
    EXPECT_FALSE(decodeUtf16BE(Bytes{0, 'a', 0}));               // odd length
    EXPECT_FALSE(decodeUtf16BE(Bytes{0xD8, 0x3D}));              // high surrogate at end
    EXPECT_FALSE(decodeUtf16BE(Bytes{0xD8, 0x3D, 0, 'a'}));      // high then non-low
    EXPECT_FALSE(decodeUtf16BE(Bytes{0xDE, 0x00, 0xD8, 0x3D}));  // low first
}

TEST(Utf16, EncodingReplacesInvalidUtf8) {
    EXPECT_EQ(encodeUtf16BE("\xFF"), (Bytes{0xFF, 0xFD}));
    EXPECT_EQ(encodeUtf16BE("\xC0\xAF"), (Bytes{0xFF, 0xFD}));           // overlong "/"
    EXPECT_EQ(encodeUtf16BE("\xED\xA0\x80"), (Bytes{0xFF, 0xFD}));       // encoded surrogate
    EXPECT_EQ(encodeUtf16BE("a\xE2\x82"), (Bytes{0, 'a', 0xFF, 0xFD}));  // truncated sequence
}

TEST(UnicodeText, NfcKeysTrimAndSearch) {
    EXPECT_EQ(nfcKey("\xFF\xFE"), "\xFF\xFE");  // invalid UTF-8 as it is
    EXPECT_EQ(trimSeparators("\xC2\xA0\xE3\x80\x80"
                             "Deep\xE2\x80\x89"),
              "Deep");  // no-break, ideographic, thin
    EXPECT_EQ(trimSeparators("\nDeep\n"), "\nDeep\n");
    EXPECT_TRUE(containsCaseInsensitive("Stra\xC3\x9F" "e", "STRASSE"));
    EXPECT_TRUE(containsCaseInsensitive("Caf\xC3\xA9", "CAFE\xCC\x81"));
    // Searching people type without accents, or with them where the name has none.
    EXPECT_TRUE(containsIgnoringCaseAndAccents("La F\xC3\xAAte", "fete"));
    EXPECT_TRUE(containsIgnoringCaseAndAccents("La Fete", "F\xC3\x8ATE"));
    EXPECT_TRUE(containsIgnoringCaseAndAccents("Stra\xC3\x9F" "e", "STRASSE"));
    EXPECT_FALSE(containsIgnoringCaseAndAccents("S\xC3\xB8ren", "soren"));  // ø is a letter
}

TEST(NameOrder, FinderLikeOrder) {
    const std::vector<std::vector<std::string>> expectedOrders{
        {"Alpha", "set 2", "Set 10"},
        {"Set 1", "set 2", "Set 2", "Set 10"},
        {"file007", "file07", "file7", "file8"},
        {"a", "B", "c"},
        {"Caf\xC3\xA9", "Cafe\xCC\x81 2"},
    };
    for (const auto& expected : expectedOrders) {
        auto shuffled = expected;
        std::reverse(shuffled.begin(), shuffled.end());
        std::stable_sort(shuffled.begin(), shuffled.end(), nameLess);
        EXPECT_EQ(shuffled, expected);
    }
    EXPECT_NE(compareNames("Caf\xC3\xA9", "Cafe\xCC\x81"), 0);  // equal only when identical
}

TEST(Formatting, ByteCountsAndDurations) {
    const std::vector<std::pair<std::uint64_t, std::string>> counts{
        {0, "0 bytes"},   {1, "1 byte"},          {999, "999 bytes"},      {2500, "2 KB"},
        {999500, "1 MB"}, {1250000, "1.2 MB"},    {1234567890, "1.23 GB"}, {999999999999, "1 TB"},
        {999499, "999 KB"}, {18446744073709551615ull, "18.45 EB"},
    };
    for (const auto& [bytes, expected] : counts)
        EXPECT_EQ(formatByteCount(bytes), expected) << bytes;
    const std::vector<std::pair<double, std::string>> durations{
        {45, "45s"}, {123, "2m 3s"}, {3610, "1h 10s"}, {3661, "1h 1m"}, {0.4, "0s"}, {59.6, "1m"},
        {90000, "25h"}, {-1, ""}, {std::nan(""), ""}, {std::numeric_limits<double>::infinity(), ""},
    };
    for (const auto& [seconds, expected] : durations)
        EXPECT_EQ(formatDuration(seconds), expected) << seconds;
}

}  // namespace
}  // namespace morrowdeck::text
