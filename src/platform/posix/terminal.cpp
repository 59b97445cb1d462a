#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace morrowdeck::platform {

namespace {

std::atomic<int> interrupts{0};
std::atomic<int> exitStatus{1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

void onInterrupt(int) {
    if (interrupts.fetch_add(1) >= 1) ::_exit(exitStatus.load());
}

}  // namespace

bool errorStreamIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::size_t errorStreamColumns() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void countInterrupts(int secondPressStatus) {
    exitStatus.store(secondPressStatus);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

int interruptCount() { return interrupts.load(); }

}  // namespace morrowdeck::platform
