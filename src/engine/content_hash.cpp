#include "engine/content_hash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#define XXH_STATIC_LINKING_ONLY  // XXH3_state_t by value
#include <xxhash.h>

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
    // O_NONBLOCK: a FIFO under a listed name must not block the check.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (error == 0) {
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadSize);
        ContentHasher hasher;
        for (;;) {
            const ssize_t got = ::read(fd, buffer.get(), kReadSize);
            if (got < 0) {
                if (errno == EINTR) continue;
                error = errno;
                break;
            }
            if (got == 0) break;
            hasher.update({buffer.get(), static_cast<std::size_t>(got)});
            if (onRead) onRead(static_cast<std::size_t>(got));
        }
        if (error == 0) hash = hasher.digest();
    }
    ::close(fd);
    return error;
}

}  // namespace morrowdeck
