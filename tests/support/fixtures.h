#pragma once

#include <filesystem>

namespace morrowdeck::test {

// The read-only folder of real Serato-written files.
inline std::filesystem::path fixturesRoot() { return MORROWDECK_FIXTURES; }

// Copies a fixture file or folder (relative to fixturesRoot) into destination, writable, and
// returns the copy's path. Tests never touch the originals.
inline std::filesystem::path copyFixture(const std::filesystem::path& relative,
                                         const std::filesystem::path& destination) {
    namespace fs = std::filesystem;
    const fs::path target = destination / relative.filename();
    fs::create_directories(destination);
    fs::copy(fixturesRoot() / relative, target,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    if (fs::is_directory(target))
        for (const auto& entry : fs::recursive_directory_iterator(target))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
    return target;
}

}  // namespace morrowdeck::test
