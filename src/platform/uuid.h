#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace morrowdeck {

// A random 128-bit identifier (version 4 layout). Used as list identity for crates and log
// entries; it carries no meaning beyond being distinct.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A fresh random identifier; thread-safe.
    static Uuid random();

    // Lower-case 8-4-4-4-12 hexadecimal form.
    std::string toString() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

}  // namespace morrowdeck

template <>
struct std::hash<morrowdeck::Uuid> {
    std::size_t operator()(const morrowdeck::Uuid& id) const noexcept {
        std::size_t value = 0;
        for (auto byte : id.bytes)
            value = value * 131 + byte;
        return value;
    }
};
