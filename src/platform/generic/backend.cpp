#include "platform/backend.h"

namespace morrowdeck::platform {

const Backend& backend() {
    static constexpr Backend kPosix{"posix", false, false, false};
    return kPosix;
}

}  // namespace morrowdeck::platform
