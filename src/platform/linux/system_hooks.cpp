#include "platform/posix/system_hooks.h"

#include <fcntl.h>

namespace morrowdeck::platform::hooks {

void adviseSequentialRead(int fd) {
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

int openFolderForQueries(const char* path) {
    return ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace morrowdeck::platform::hooks
