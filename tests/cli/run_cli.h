#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "support/temp_dir.h"

extern char** environ;

namespace morrowdeck::test {

struct CliResult {
    int status = -1;
    std::string out, err;
};

// A built program started with empty standard input and both output streams captured in
// files, or standard output on `output` when given. The destructor kills and reaps a process
// still running.
class CliProcess {
  public:
    explicit CliProcess(std::vector<std::string> arguments,
                        const std::string& program = MORROWDECK_CLI, int output = -1) {
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (output >= 0)
            posix_spawn_file_actions_adddup2(&actions, output, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "out").c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "err").c_str(), O_WRONLY | O_CREAT, 0600);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) throw std::runtime_error("cannot start " + program);
    }
    ~CliProcess() { if (pid_ >= 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0); }
    pid_t pid() const { return pid_; }
    std::string outputSoFar() const { return text(dir_ / "out"); }
    CliResult wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) continue;
        pid_ = -1;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                text(dir_ / "out"), text(dir_ / "err")};
    }

  private:
    static std::string text(const std::filesystem::path& file) {
        if (!std::filesystem::exists(file)) return {};  // output went elsewhere
        const auto bytes = readBytes(file);
        return {bytes.begin(), bytes.end()};
    }
    TempDir dir_;  // also makes the object non-copyable
    pid_t pid_ = -1;
};

inline CliResult runCli(const std::vector<std::string>& arguments,
                        const std::string& program = MORROWDECK_CLI) {
    return CliProcess(arguments, program).wait();
}

// A library in a temporary folder: audio files in Music/, crates in <where>.
struct CliLibrary {
    TempDir dir;
    std::filesystem::path serato;

    explicit CliLibrary(const std::string& where = "_Serato_") : serato(dir / where) {}
    std::filesystem::path music(const std::string& name) const { return dir / "Music" / name; }
    // A crate file in Subcrates, or SmartCrates for ".scrate", listing files of Music/.
    void addCrate(const std::string& fileName, const std::vector<std::string>& tracks) {
        std::vector<std::string> paths;
        for (const auto& track : tracks)
            paths.push_back(CrateWriter::volumeRelativePath(
                music(track), SeratoLibrary::volumeMountPrefix(dir.path())));
        const char* folder = fileName.ends_with(".scrate") ? "SmartCrates" : "Subcrates";
        writeFile(serato / folder / fileName, CrateWriter::crateData(paths));
    }
};

}  // namespace morrowdeck::test
