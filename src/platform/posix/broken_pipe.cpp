#include "platform/broken_pipe.h"

#include <signal.h>

namespace morrowdeck::platform {

void ignoreBrokenPipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    (void)::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace morrowdeck::platform
