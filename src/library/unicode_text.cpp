#include "library/unicode_text.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace morrowdeck::text {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

const icu::Normalizer2* nfc() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) ? normalizer : nullptr;
}

icu::UnicodeString normalizedFolded(std::string_view text) {
    icu::UnicodeString value = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    if (const auto* normalizer = nfc()) {
        icu::UnicodeString normalized = normalizer->normalize(value, status);
        if (U_SUCCESS(status)) value = normalized;
    }
    value.foldCase(U_FOLD_CASE_DEFAULT);
    // Folding can produce decomposed sequences; normalise again so both sides agree.
    status = U_ZERO_ERROR;
    if (const auto* normalizer = nfc()) {
        icu::UnicodeString normalized = normalizer->normalize(value, status);
        if (U_SUCCESS(status)) value = normalized;
    }
    return value;
}

const icu::Normalizer2* nfd() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFDInstance(status);
    return U_SUCCESS(status) ? normalizer : nullptr;
}

// The text decomposed, without its combining marks ("Fête" → "Fete"), then folded as
// normalizedFolded does.
icu::UnicodeString withoutAccentsFolded(std::string_view text) {
    icu::UnicodeString value = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    if (const auto* normalizer = nfd()) {
        icu::UnicodeString decomposed = normalizer->normalize(value, status);
        if (U_SUCCESS(status)) value = decomposed;
    }
    icu::UnicodeString bare;
    for (int32_t i = 0; i < value.length();) {
        const UChar32 c = value.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
        i += U16_LENGTH(c);
    }
    std::string utf8;
    bare.toUTF8String(utf8);
    return normalizedFolded(utf8);
}

bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t at = 0; at < length;) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) return false;
    }
    return true;
}

bool isSeparator(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

std::string normalized(std::string_view text, const icu::Normalizer2* normalizer) {
    if (isAscii(text) || normalizer == nullptr) return std::string(text);
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    normalizer->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())),
                              sink, nullptr, status);
    if (U_FAILURE(status)) return std::string(text);
    return out;
}

}  // namespace

std::string nfcKey(std::string_view text) {
    return normalized(text, nfc());
}

std::string foldedKey(std::string_view text) {
    if (!isAscii(text) && isValidUtf8(text)) {
        std::string out;
        normalizedFolded(text).toUTF8String(out);
        return out;
    }
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::string nfdForm(std::string_view text) {
    return normalized(text, nfd());
}

std::string trimSeparators(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());

    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !isSeparator(c)) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, begin, previous, c);
        if (c < 0 || !isSeparator(c)) break;
        end = previous;
    }
    return std::string(
        text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

bool containsCaseInsensitive(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    return normalizedFolded(haystack).indexOf(normalizedFolded(needle)) >= 0;
}

bool containsIgnoringCaseAndAccents(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    return withoutAccentsFolded(haystack).indexOf(withoutAccentsFolded(needle)) >= 0;
}

}  // namespace morrowdeck::text
