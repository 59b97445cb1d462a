#include "library/serato_database.h"

#include <stdexcept>

#include "library/text_encoding.h"

namespace morrowdeck::SeratoDatabase {

void appendChunk(Bytes& out, std::string_view tag, ByteView payload) {
    if (payload.size() > 0xFFFFFFFFull)
        throw std::length_error("Serato chunk payload exceeds 4 GiB");
    // Tags are four ASCII characters; pad or cut anything else so the layout stays intact.
    for (std::size_t i = 0; i < 4; ++i)
        out.push_back(i < tag.size() ? static_cast<std::uint8_t>(tag[i]) : ' ');
    const auto length = u32(static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), payload.begin(), payload.end());
}

Bytes chunk(std::string_view tag, ByteView payload) {
    Bytes out;
    out.reserve(8 + payload.size());
    appendChunk(out, tag, payload);
    return out;
}

void str(Bytes& out, std::string_view tag, const std::optional<std::string>& value) {
    if (!value || value->empty()) return;
    appendChunk(out, tag, text::encodeUtf16BE(*value));
}

std::array<std::uint8_t, 4> u32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::size_t completeChunksLength(ByteView data) {
    std::size_t end = 0;
    eachChunk(data, [&](std::string_view, ByteView payload) {
        end = static_cast<std::size_t>(payload.data() + payload.size() - data.data());
    });
    return end;
}

Bytes data(const std::vector<Bytes>& records) {
    std::size_t total = 8 + 2 * databaseVersion.size();
    for (const auto& record : records)
        total += 8 + record.size();
    Bytes out;
    out.reserve(total);
    appendChunk(out, "vrsn", text::encodeUtf16BE(databaseVersion));
    for (const auto& record : records)
        appendChunk(out, "otrk", record);
    return out;
}

}  // namespace morrowdeck::SeratoDatabase
