#include "support/fixtures.h"

namespace morrowdeck::test {

namespace fs = std::filesystem;

fs::path copyFixture(const fs::path& relative, const fs::path& destination) {
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
