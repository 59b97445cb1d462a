#include "library/text_encoding.h"

namespace morrowdeck::text {

namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUnit(std::vector<std::uint8_t>& out, char32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
}

}  // namespace

char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    std::size_t k = 1;
    for (; k < length; ++k) {
        if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) break;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    i += k;
    if (k < length || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    return cp;
}

bool appendDecodedUtf16BE(std::string& out, std::span<const std::uint8_t> bytes) {
    if (bytes.size() % 2 != 0) return false;
    const std::size_t start = out.size();
    out.reserve(start + bytes.size() / 2 + bytes.size() / 8);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t unit = (char32_t{bytes[i]} << 8) | bytes[i + 1];
        if (unit < 0x80) {  // fast path: ASCII dominates file paths
            out.push_back(static_cast<char>(unit));
            continue;
        }
        const bool lowFirst = unit >= 0xDC00 && unit <= 0xDFFF;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const char32_t low =
                i + 3 < bytes.size() ? (char32_t{bytes[i + 2]} << 8) | bytes[i + 3] : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                out.resize(start);
                return false;
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (lowFirst) {
            out.resize(start);
            return false;
        }
        appendUtf8(out, unit);
    }
    return true;
}

std::optional<std::string> decodeUtf16BE(std::span<const std::uint8_t> bytes) {
    std::string out;
    if (!appendDecodedUtf16BE(out, bytes)) return std::nullopt;
    return out;
}

void appendUtf16BE(std::vector<std::uint8_t>& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size() * 2);
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            appendUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            appendUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            appendUnit(out, cp);
        }
    }
}

std::vector<std::uint8_t> encodeUtf16BE(std::string_view utf8) {
    std::vector<std::uint8_t> out;
    appendUtf16BE(out, utf8);
    return out;
}

}  // namespace morrowdeck::text
