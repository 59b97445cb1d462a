#include "restore/saved_copy.h"

#include "platform/file_operations.h"

namespace morrowdeck {

void saveOnce(const std::filesystem::path& file, const std::filesystem::path& saved) {
    if (platform::itemExists(file) && !platform::itemExists(saved))
        platform::copyFile(file, saved, false);
}

}  // namespace morrowdeck
