#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morrowdeck {

// A file's 128-bit XXH3 content hash: fast enough to compute while a file is copied or read
// back, and strong enough to tell a damaged copy from a good one.
struct ContentHash {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    bool operator==(const ContentHash&) const = default;

    // 32 lower-case hex digits, high half first (xxhsum's order for XXH128).
    std::string hex() const;
    static std::optional<ContentHash> fromHex(std::string_view text);
};

// The hash of data fed in pieces. Owned by one thread.
class ContentHasher {
  public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    void update(std::span<const std::uint8_t> data);
    ContentHash digest() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Reads a regular file to its end and hashes it; `onRead` (when given) hears of every piece's
// size, for progress. 0 or errno (EISDIR/EINVAL for what is not a regular file).
int hashFile(const std::filesystem::path& file, ContentHash& hash,
             const std::function<void(std::size_t bytes)>& onRead = {});

}  // namespace morrowdeck
