// Walks arbitrary bytes as top-level chunks and as nested records, checking that every
// delivered payload lies inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "library/serato_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    std::size_t consumed = 0;
    morrowdeck::SeratoDatabase::eachChunk(
        input, [&](std::string_view tag, std::span<const std::uint8_t> payload) {
            if (payload.data() < data || payload.data() + payload.size() > data + size)
                std::abort();
            if (!tag.empty() && tag.size() != 4) std::abort();
            consumed += 8 + payload.size();
            morrowdeck::SeratoDatabase::eachChunk(
                payload, [](std::string_view, std::span<const std::uint8_t>) {});
            (void)morrowdeck::SeratoDatabase::pfil(payload);
        });
    if (consumed > size) std::abort();
    return 0;
}
