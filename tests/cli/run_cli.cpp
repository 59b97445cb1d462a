#include "run_cli.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace morrowdeck::test {

namespace {

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts the program with standard input from /dev/null and both outputs into files in dir.
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const TempDir& dir) {
    const auto outFile = dir / "out", errFile = dir / "err";
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

CliResult reap(pid_t pid, const TempDir& dir) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    CliResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(dir / "out");
    result.err = slurp(dir / "err");
    return result;
}

}  // namespace

CliResult runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    TempDir dir;
    return reap(spawn(program, arguments, dir), dir);
}

CliResult runCli(const std::vector<std::string>& arguments) {
    return runProgram(MORROWDECK_CLI, arguments);
}

CliProcess::CliProcess(const std::vector<std::string>& arguments)
    : dir_(std::make_unique<TempDir>()), pid_(spawn(MORROWDECK_CLI, arguments, *dir_)) {}

CliProcess::~CliProcess() {
    if (pid_ < 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

std::string CliProcess::outputSoFar() const {
    return slurp(*dir_ / "out");
}

CliResult CliProcess::wait() {
    const CliResult result = reap(pid_, *dir_);
    pid_ = -1;
    return result;
}

}  // namespace morrowdeck::test
