#include "platform/posix/system_hooks.h"

#include <fcntl.h>

namespace morrowdeck::platform::hooks {

// posix_fadvise is optional in POSIX and missing on macOS: read-ahead is left to the system.
void adviseSequentialRead(int) {}

// O_PATH is Linux's: a folder opened for reading serves fstatat as well.
int openFolderForQueries(const char* path) {
    return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace morrowdeck::platform::hooks
