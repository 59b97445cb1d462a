#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {

struct CliResult {
    int status = -1;
    std::string out, err;
};

// A built program started with empty standard input and both output streams captured in
// files. The destructor kills and reaps a process still running.
class CliProcess {
  public:
    explicit CliProcess(const std::vector<std::string>& arguments,
                        const std::string& program = MORROWDECK_CLI);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;
    pid_t pid() const { return pid_; }
    std::string outputSoFar() const;
    CliResult wait();

  private:
    TempDir dir_;
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
