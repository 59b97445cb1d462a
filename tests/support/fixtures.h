#pragma once

#include <filesystem>

namespace morrowdeck::test {

// The read-only folder of real Serato-written files.
inline std::filesystem::path fixturesRoot() {
    return MORROWDECK_FIXTURES;
}

// Copies a fixture file or folder (relative to fixturesRoot) into destination, writable, and
// returns the copy's path. Tests never touch the originals.
std::filesystem::path copyFixture(const std::filesystem::path& relative,
                                  const std::filesystem::path& destination);

}  // namespace morrowdeck::test
