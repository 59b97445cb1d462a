#pragma once

#include <cstddef>

// The command line's terminal: whether its standard error is one and how wide it is, and
// Ctrl-C counted rather than ending the process. Process-wide; call from the main thread.
namespace morrowdeck::platform {

// True when standard error is a terminal (a progress line may redraw itself there).
bool errorStreamIsTerminal();

// The terminal's width in columns; 0 when standard error is no terminal or it is unknown.
std::size_t errorStreamColumns();

// From now on Ctrl-C (SIGINT) only counts presses, which interruptCount() reads from any
// thread, until the second, which ends the process at once with `secondPressStatus`.
void countInterrupts(int secondPressStatus);

// Ctrl-C presses since countInterrupts.
int interruptCount();

}  // namespace morrowdeck::platform
