#include "platform/uuid.h"

#include <random>
#include <type_traits>

namespace morrowdeck {

Uuid Uuid::random() {
    // One generator per thread, seeded from the system's entropy source. It has no destructor
    // to run at thread exit, which mingw-w64 gets wrong for thread_local objects.
    static_assert(std::is_trivially_destructible_v<std::mt19937_64>);
    thread_local std::mt19937_64 generator{[] {  // trivially destructible
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};

    Uuid id;
    for (std::size_t i = 0; i < id.bytes.size(); i += 8) {
        std::uint64_t word = generator();
        for (std::size_t j = 0; j < 8; ++j)
            id.bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0F) | 0x40);  // version 4
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return id;
}

std::string Uuid::toString() const {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace morrowdeck
