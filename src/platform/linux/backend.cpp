#include "platform/backend.h"

namespace morrowdeck::platform {

const Backend& backend() {
    static constexpr Backend kLinux{"linux", true, true, true};
    return kLinux;
}

}  // namespace morrowdeck::platform
