#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// UTF-16 big-endian, the text encoding of every Serato chunk. Text inside the program is
// UTF-8 std::string.
namespace morrowdeck::text {

// Strict decoding: an odd byte count or an unpaired surrogate gives no result. An empty
// input decodes to the empty string.
std::optional<std::string> decodeUtf16BE(std::span<const std::uint8_t> bytes);

// The same strict decoding, appended to out; false (with out unchanged) when it fails.
// Lets hot loops reuse one buffer.
bool appendDecodedUtf16BE(std::string& out, std::span<const std::uint8_t> bytes);

// Decodes the UTF-8 sequence at text[i] and advances i past it; U+FFFD for a malformed
// sequence (overlong forms, surrogates and values past U+10FFFF included), which never
// swallows a byte that could start the next sequence.
char32_t nextCodePoint(std::string_view text, std::size_t& i);

// Encodes UTF-8 text as UTF-16BE without byte-order mark or terminator. Byte sequences that
// are not valid UTF-8 become U+FFFD (UTF-16 cannot carry them).
std::vector<std::uint8_t> encodeUtf16BE(std::string_view utf8);

// Appends the UTF-16BE form of the text to out.
void appendUtf16BE(std::vector<std::uint8_t>& out, std::string_view utf8);

}  // namespace morrowdeck::text
