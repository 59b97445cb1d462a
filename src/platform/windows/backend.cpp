#include "platform/backend.h"

namespace morrowdeck::platform {

// Processes and volume labels come from Win32; there is no mount table file to read: the drives
// are asked for directly.
const Backend& backend() {
    static constexpr Backend kWindows{"windows", true, true, false};
    return kWindows;
}

}  // namespace morrowdeck::platform
