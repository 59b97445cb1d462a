#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace morrowdeck::bench {

// One command line for posix_spawnp: standard input from /dev/null, standard output (and
// standard error, unless keepStderr) appended to `output`, run in `folder` when one is given.
struct Command {
    std::vector<std::string> args;
    std::string output = "/dev/null";
    std::string folder = {};
    bool keepStderr = false;
};

// Starts the command; the child's pid, or -1 (with a message on stderr) when it cannot start.
pid_t spawn(const Command& command);

// Waits for a child; true when it exited with status 0.
bool waitSucceeded(pid_t child);

// Runs the command to its end; true when it exited with status 0.
bool runCommand(const Command& command);

// The wall time of one run, process start-up included; negative when it failed.
double timeCommand(const Command& command);

}  // namespace morrowdeck::bench
