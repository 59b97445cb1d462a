#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morrowdeck::bench {

// splitmix64: deterministic on every platform (the standard distributions differ between
// libraries), fast, and good enough for file contents no file system can compress.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double probability) { return unit() < probability; }
    template <typename Pool>
    std::string pick(const Pool& pool) {
        return std::string(pool[below(pool.size())]);
    }

  private:
    std::uint64_t state_;
};

}  // namespace morrowdeck::bench
