#include "engine/content_hash.h"

#include <charconv>

#define XXH_STATIC_LINKING_ONLY  // XXH3_state_t by value
#include <xxhash.h>

#include "platform/read_only_file.h"

namespace morrowdeck {

namespace {

constexpr std::size_t kReadSize = 1 << 20;

}  // namespace

std::string ContentHash::hex() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[static_cast<std::size_t>(15 - i)] = kDigits[(high >> (4 * i)) & 0xF];
        text[static_cast<std::size_t>(31 - i)] = kDigits[(low >> (4 * i)) & 0xF];
    }
    return text;
}

std::optional<ContentHash> ContentHash::fromHex(std::string_view text) {
    if (text.size() != 32) return std::nullopt;
    ContentHash hash;
    for (auto [part, value] : {std::pair{text.substr(0, 16), &hash.high},
                               std::pair{text.substr(16), &hash.low}}) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + 16, *value, 16);
        if (error != std::errc() || end != part.data() + 16) return std::nullopt;
    }
    return hash;
}

struct ContentHasher::State {
    XXH3_state_t xxh;
};

ContentHasher::ContentHasher() : state_(std::make_unique<State>()) {
    XXH3_128bits_reset(&state_->xxh);
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::update(std::span<const std::uint8_t> data) {
    XXH3_128bits_update(&state_->xxh, data.data(), data.size());
}

ContentHash ContentHasher::digest() const {
    const XXH128_hash_t digest = XXH3_128bits_digest(&state_->xxh);
    return {digest.high64, digest.low64};
}

int hashFile(const std::filesystem::path& file, ContentHash& hash,
             const std::function<void(std::size_t)>& onRead) {
    platform::ReadOnlyFile input;
    if (const int error = input.open(file)) return error;
    input.adviseSequentialRead();
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadSize);
    ContentHasher hasher;
    for (;;) {
        std::size_t got = 0;
        if (const int error = input.read({buffer.get(), kReadSize}, got)) return error;
        if (got == 0) break;
        hasher.update({buffer.get(), got});
        if (onRead) onRead(got);
    }
    hash = hasher.digest();
    return 0;
}

}  // namespace morrowdeck
