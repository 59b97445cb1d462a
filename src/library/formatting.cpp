#include "library/formatting.h"

#include <array>
#include <cmath>
#include <vector>

namespace morrowdeck::text {

namespace {

__extension__ typedef unsigned __int128 u128;

u128 pow10(int exponent) {
    u128 value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

u128 divideHalfEven(u128 numerator, u128 denominator) {
    u128 quotient = numerator / denominator;
    const u128 remainder = numerator % denominator;
    if (remainder * 2 > denominator || (remainder * 2 == denominator && (quotient & 1) != 0))
        ++quotient;
    return quotient;
}

std::string grouped(u128 value) {
    std::string reversed;
    int count = 0;
    do {
        if (count > 0 && count % 3 == 0) reversed.push_back(',');
        reversed.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
        ++count;
    } while (value != 0);
    return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace

std::string formatByteCount(std::uint64_t bytes) {
    if (bytes == 0) return "0 bytes";
    if (bytes == 1) return "1 byte";
    if (bytes < 1000) return std::to_string(bytes) + " bytes";

    struct Unit {
        const char* name;
        int exponent;
        int decimals;
    };
    static constexpr std::array<Unit, 6> units{{
        {"KB", 3, 0},
        {"MB", 6, 1},
        {"GB", 9, 2},
        {"TB", 12, 2},
        {"PB", 15, 2},
        {"EB", 18, 2},
    }};
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        const u128 scale = pow10(unit.decimals);
        const u128 scaled = divideHalfEven(u128{bytes} * scale, pow10(unit.exponent));
        if (scaled >= 1000 * scale && i + 1 < units.size()) continue;

        std::string text = grouped(scaled / scale);
        std::string fraction;
        u128 rest = scaled % scale;
        for (int d = unit.decimals - 1; d >= 0; --d) {
            const u128 digitScale = pow10(d);
            fraction.push_back(static_cast<char>('0' + static_cast<int>(rest / digitScale)));
            rest %= digitScale;
        }
        while (!fraction.empty() && fraction.back() == '0')
            fraction.pop_back();
        if (!fraction.empty()) text += "." + fraction;
        return text + " " + unit.name;
    }
    return {};  // unreachable: the last unit always returns
}

std::string formatDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e15) return "";
    auto total = static_cast<long long>(std::llround(seconds));
    const std::array<std::pair<long long, const char*>, 3> parts{{
        {total / 3600, "h"},
        {(total / 60) % 60, "m"},
        {total % 60, "s"},
    }};
    std::string text;
    int used = 0;
    for (const auto& [value, suffix] : parts) {
        if (value == 0 || used == 2) continue;
        if (!text.empty()) text += ' ';
        text += std::to_string(value) + suffix;
        ++used;
    }
    return text.empty() ? "0s" : text;
}

}  // namespace morrowdeck::text
