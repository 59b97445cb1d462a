#include "support/fixtures.h"

namespace morrowdeck::test {

std::filesystem::path fixturesRoot() {
    return MORROWDECK_FIXTURES;
}

std::filesystem::path copyFixture(const std::filesystem::path& relative,
                                  const std::filesystem::path& destination) {
    namespace fs = std::filesystem;
    const fs::path source = fixturesRoot() / relative;
    const fs::path target = destination / source.filename();
    fs::create_directories(destination);
    fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    if (fs::is_directory(target)) {
        for (auto it = fs::recursive_directory_iterator(target);
             it != fs::recursive_directory_iterator(); ++it) {
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add);
        }
    }
    return target;
}

}  // namespace morrowdeck::test
