#include "engine/safe_name.h"

#include <array>
#include <cstdint>

namespace morrowdeck::SafeName {

namespace {

constexpr char32_t quoteMark = U'\u201B';
constexpr char32_t invalid = 0xFFFFFFFF;

// The code point at `at` and its length in bytes; `invalid` and 1 for a byte that starts no
// well-formed sequence, which then passes through as it is.
std::pair<char32_t, std::size_t> codePointAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return {invalid, 1};
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {invalid, 1};
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    return {value, length};
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isRefusedCharacter(char32_t c) {
    return c < 0x20 || std::u32string_view(U":*?\"<>|\\").find(c) != std::u32string_view::npos;
}

// The stand-in of an ASCII character: its control picture up to the space, its full-width
// form above.
char32_t standIn(char32_t c) {
    return c <= 0x20 ? 0x2400 + c : c + 0xFEE0;
}

// The ASCII character a stand-in replaces, or `invalid` when the code point is none.
char32_t standsFor(char32_t c) {
    if (c >= 0x2400 && c <= 0x2420) return c - 0x2400;
    if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;
    return invalid;
}

// True when the name is a device name: its part before the first dot, without trailing
// spaces, is one of Windows' device names, in any letter case.
bool isDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (stem.ends_with(' '))
        stem.remove_suffix(1);
    std::string upper;
    for (const char c : stem)
        upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    static constexpr std::array<std::string_view, 4> plain{"CON", "PRN", "AUX", "NUL"};
    for (const auto device : plain)
        if (upper == device) return true;
    if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
    const std::string_view number = std::string_view(upper).substr(3);
    // Digits 0-9 and the superscripts one, two and three, which Windows also reserves.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\u00B9" ||
           number == "\u00B2" || number == "\u00B3";
}

}  // namespace

bool isRefused(std::string_view name) {
    if (name.empty()) return false;
    for (const char c : name)
        if (isRefusedCharacter(static_cast<unsigned char>(c))) return true;
    return name.ends_with('.') || name.ends_with(' ') || isDeviceName(name);
}

std::string encode(std::string_view name, std::size_t quoted) {
    const bool device = isDeviceName(name);
    std::string out;
    out.reserve(name.size() + 8);
    std::size_t index = 0;  // of the code point
    for (std::size_t at = 0; at < name.size(); ++index) {
        const auto [c, length] = codePointAt(name, at);
        const bool last = at + length == name.size();
        if (c == invalid) {
            out += name[at];
        } else if (isRefusedCharacter(c)) {
            appendUtf8(out, standIn(c));
        } else if (c == quoteMark || standsFor(c) != invalid) {
            appendUtf8(out, quoteMark);
            out.append(name, at, length);
        } else if ((device && index == 0) || (last && (c == '.' || c == ' '))) {
            // A quote mark would not help here: Windows still drops a final dot or space.
            appendUtf8(out, standIn(c));
        } else if (index < quoted) {
            appendUtf8(out, quoteMark);
            out.append(name, at, length);
        } else {
            out.append(name, at, length);
        }
        at += length;
    }
    return out;
}

std::string decode(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (std::size_t at = 0; at < stored.size();) {
        const auto [c, length] = codePointAt(stored, at);
        if (c == quoteMark && at + length < stored.size()) {
            // The character behind the quote mark stands for itself.
            at += length;
            const std::size_t next = codePointAt(stored, at).second;
            out.append(stored, at, next);
            at += next;
            continue;
        }
        if (const char32_t ascii = c == invalid ? invalid : standsFor(c); ascii != invalid) {
            out += static_cast<char>(ascii);
        } else {
            out.append(stored, at, length);
        }
        at += length;
    }
    return out;
}

}  // namespace morrowdeck::SafeName
