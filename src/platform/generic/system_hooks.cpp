#include "platform/posix/system_hooks.h"

namespace morrowdeck::platform::hooks {

// posix_fadvise is optional in POSIX and missing on macOS: read-ahead is left to the system.
void adviseSequentialRead(int) {}

}  // namespace morrowdeck::platform::hooks
