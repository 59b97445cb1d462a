#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace morrowdeck::test {

class TempDir;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built morrowdeck-cli with the arguments, no terminal, empty standard input, and
// returns its exit status and both output streams.
CliResult runCli(const std::vector<std::string>& arguments);

// The same for another built program, named by its path.
CliResult runProgram(const std::string& program, const std::vector<std::string>& arguments);

// A morrowdeck-cli running in the background, for tests that act on it while it runs (for
// example send it SIGINT). The destructor kills and reaps a process still running.
class CliProcess {
  public:
    explicit CliProcess(const std::vector<std::string>& arguments);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t pid() const { return pid_; }

    // What it has written to standard output so far.
    std::string outputSoFar() const;

    // Waits for the exit and returns the status and both streams.
    CliResult wait();

  private:
    std::unique_ptr<TempDir> dir_;
    pid_t pid_ = -1;
};

}  // namespace morrowdeck::test
