#include "platform/broken_pipe.h"

namespace morrowdeck::platform {

// Windows has no SIGPIPE: a write to a pipe whose reader has gone already fails with an error.
void ignoreBrokenPipe() {}

}  // namespace morrowdeck::platform
