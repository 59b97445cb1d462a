#pragma once

#include <filesystem>

namespace morrowdeck::test {

// The read-only folder of real Serato-written files.
std::filesystem::path fixturesRoot();

// Copies a fixture file or folder (relative to fixturesRoot) into destination, with write
// permission, and returns the copy's path. Tests never touch the originals.
std::filesystem::path copyFixture(const std::filesystem::path& relative,
                                  const std::filesystem::path& destination);

}  // namespace morrowdeck::test
