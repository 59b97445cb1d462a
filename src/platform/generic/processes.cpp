#include "platform/processes.h"

namespace morrowdeck::platform {

// POSIX has no call that lists processes (macOS's libproc or the BSDs' sysctl would serve a
// backend of their own).
SeratoProcess seratoProcess(const std::filesystem::path&) {
    return SeratoProcess::unknown;
}

}  // namespace morrowdeck::platform
