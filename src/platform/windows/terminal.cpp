#include "platform/terminal.h"

#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace morrowdeck::platform {

namespace {

std::atomic<int> interrupts{0};
std::atomic<int> exitStatus{1};

// Runs on a thread the console starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (interrupts.fetch_add(1) >= 1) std::_Exit(exitStatus.load());
    return TRUE;
}

}  // namespace

bool errorStreamIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

std::size_t errorStreamColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void countInterrupts(int secondPressStatus) {
    exitStatus.store(secondPressStatus);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int interruptCount() { return interrupts.load(); }

}  // namespace morrowdeck::platform
