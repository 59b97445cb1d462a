#pragma once

#include <string>
#include <vector>

namespace morrowdeck::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built morrowdeck-cli with the arguments, no terminal, empty standard input, and
// returns its exit status and both output streams.
CliResult runCli(const std::vector<std::string>& arguments);

}  // namespace morrowdeck::test
