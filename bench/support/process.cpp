#include "support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/timing.h"

extern char** environ;

namespace morrowdeck::bench {

pid_t spawn(const Command& command) {
    std::vector<char*> argv;
    for (const auto& arg : command.args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, command.output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (!command.keepStderr)
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (!command.folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, command.folder.c_str());
    pid_t child = -1;
    const int error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(error));
        return -1;
    }
    return child;
}

bool waitSucceeded(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool runCommand(const Command& command) {
    const pid_t child = spawn(command);
    return child >= 0 && waitSucceeded(child);
}

double timeCommand(const Command& command) {
    const auto start = Clock::now();
    if (!runCommand(command)) return -1;
    return secondsSince(start);
}

}  // namespace morrowdeck::bench
