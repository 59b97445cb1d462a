// bench_load_crates: generates a synthetic Serato library and times SeratoLibrary::loadCrates
// against `cat` reading the same crate files, side by side in one run. Prints figures and
// ratios; it asserts nothing about speed. A third side, plain reads of the same files in
// this process, shows how much of the time is I/O.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "library/serato_library.h"
#include "support/process.h"
#include "support/timing.h"
#include "synthetic_library.h"

namespace {

using namespace morrowdeck;
using namespace morrowdeck::bench;

constexpr int exitOk = 0;
constexpr int exitMismatch = 1;
constexpr int exitUsage = 2;

struct Forest {
    std::size_t references = 0;  // totalTrackCount summed over the top level
    std::size_t leaves = 0;      // crates read from a file
    std::size_t smartLeaves = 0;
};

void countLeaves(const std::vector<Crate::Ptr>& crates, Forest& forest) {
    for (const auto& crate : crates) {
        if (crate->isLeaf()) {
            ++forest.leaves;
            if (crate->isSmart) ++forest.smartLeaves;
        }
        countLeaves(crate->children, forest);
    }
}

// Times one loadCrates call; the forest is counted and dropped outside the timed span.
double timeLoad(const std::filesystem::path& library, Forest& forest) {
    const auto start = Clock::now();
    const std::vector<Crate::Ptr> crates = SeratoLibrary::loadCrates(library);
    const double seconds = secondsSince(start);
    forest = {};
    for (const auto& crate : crates)
        forest.references += crate->totalTrackCount();
    countLeaves(crates, forest);
    return seconds;
}

// Times `find <Subcrates> <SmartCrates> -maxdepth 1 -type f ! -name '.*' -exec cat -- {} +`
// with its output on /dev/null: listing plus reading the files loadCrates reads. The argv is
// passed directly, so "%%", spaces and non-ASCII in names need no quoting. Negative on failure.
double timeCat(const std::filesystem::path& library) {
    const std::string subcrates = (library / "Subcrates").string();
    const std::string smartCrates = (library / "SmartCrates").string();
    std::vector<std::string> args = {"find",  subcrates, smartCrates, "-maxdepth", "1",
                                     "-type", "f",       "!",         "-name",     ".*",
                                     "-exec", "cat",     "--",        "{}",        "+"};
    return bench::timeCommand({.args = args, .keepStderr = true});
}

// Times listing and reading the same files in this process, each whole into one reused
// buffer, without parsing: the floor any loader pays for the I/O. Negative on failure.
double timeRead(const std::filesystem::path& library, std::vector<char>& buffer) {
    const auto start = Clock::now();
    for (const char* folder : {"Subcrates", "SmartCrates"}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(library / folder, error)) {
            if (entry.path().filename().native().starts_with('.')) continue;
            const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) return -1;
            struct stat info {};
            if (::fstat(fd, &info) != 0) {
                ::close(fd);
                return -1;
            }
            if (buffer.size() < static_cast<std::size_t>(info.st_size) + 1)
                buffer.resize(static_cast<std::size_t>(info.st_size) + 1);
            ssize_t got = 0;
            do {
                got = ::read(fd, buffer.data(), buffer.size());
            } while (got > 0 || (got < 0 && errno == EINTR));
            ::close(fd);
            if (got < 0) return -1;
        }
        if (error) return -1;
    }
    return secondsSince(start);
}

int runGenerate(const std::filesystem::path& root, const SyntheticLibrary::Shape& shape) {
    const auto start = Clock::now();
    const auto summary = SyntheticLibrary::generate(root, shape);
    std::printf("generated %s/_Serato_ in %.2f s\n", root.c_str(), secondsSince(start));
    std::printf("  crate files      %zu (%zu smart)\n", summary.crates, summary.smartCrates);
    std::printf("  references       %zu (%zu distinct paths)\n", summary.references,
                summary.distinctPaths);
    std::printf("  path length      %.1f bytes on average, %.1f%% with non-ASCII text\n",
                summary.references ? double(summary.pathBytes) / double(summary.references) : 0.0,
                summary.references
                    ? 100.0 * double(summary.nonAsciiPaths) / double(summary.references)
                    : 0.0);
    std::printf("  crate bytes      %.2f MB\n", double(summary.fileBytes) / 1e6);
    return exitOk;
}

int runMeasure(const std::filesystem::path& root, int rounds) {
    auto library = SeratoLibrary::resolveLibrary(root);
    if (!library) {
        std::fprintf(stderr, "bench_load_crates: no _Serato_ folder at %s\n", root.c_str());
        return exitUsage;
    }
    // "DIR/_Serato_/" would otherwise have "DIR/_Serato_" as its parent.
    *library = library->lexically_normal();
    if (!library->has_filename()) *library = library->parent_path();
    // A library that generate() did not write has no summary; its counts are not checked.
    const auto expected = SyntheticLibrary::readSummary(library->parent_path());

    // Warm-up: one untimed pass of each side so all of them read from the page cache.
    Forest forest;
    std::vector<char> buffer;
    timeLoad(*library, forest);
    if (timeCat(*library) < 0 || timeRead(*library, buffer) < 0) {
        std::fprintf(stderr, "bench_load_crates: cannot read the crate files of %s\n",
                     library->c_str());
        return exitUsage;
    }
    const Forest first = forest;

    std::printf("load_crates bench: %s\n", library->c_str());
    std::printf("%-6s %14s %9s %10s %14s %15s\n", "round", "loadCrates ms", "cat ms", "read ms",
                "loadCrates/cat", "loadCrates/read");
    std::vector<double> loads;
    std::vector<double> cats;
    std::vector<double> reads;
    bool consistent = true;
    for (int round = 1; round <= rounds; ++round) {
        // Rotate the order of the sides so none always runs right after another.
        double load = 0;
        double cat = 0;
        double read = 0;
        for (int step = 0; step < 3; ++step) {
            switch ((round + step) % 3) {
                case 0:
                    load = timeLoad(*library, forest);
                    break;
                case 1:
                    cat = timeCat(*library);
                    break;
                default:
                    read = timeRead(*library, buffer);
                    break;
            }
        }
        if (cat < 0 || read < 0) {
            std::fprintf(stderr, "bench_load_crates: reading the crate files failed in round %d\n",
                         round);
            return exitUsage;
        }
        consistent =
            consistent && forest.references == first.references && forest.leaves == first.leaves;
        loads.push_back(load);
        cats.push_back(cat);
        reads.push_back(read);
        std::printf("%-6d %14.2f %9.2f %10.2f %13.2fx %14.2fx\n", round, load * 1e3, cat * 1e3,
                    read * 1e3, load / cat, load / read);
    }

    const double loadMedian = median(loads);
    const double catMedian = median(cats);
    const double readMedian = median(reads);
    std::printf("---- summary (median of %d warm rounds) ----\n", rounds);
    std::printf("crate files           %zu loaded (%zu smart)", forest.leaves, forest.smartLeaves);
    if (expected) std::printf(", %zu generated", expected->crates);
    std::printf("\nreferences            %zu", forest.references);
    if (expected) std::printf(" (expected %zu)", expected->references);
    std::printf("\nloadCrates            %.2f ms\n", loadMedian * 1e3);
    std::printf("cat                   %.2f ms\n", catMedian * 1e3);
    std::printf("read (no parsing)     %.2f ms\n", readMedian * 1e3);
    std::printf("ratio loadCrates/cat  %.2fx\n", loadMedian / catMedian);
    std::printf("ratio loadCrates/read %.2fx\n", loadMedian / readMedian);
    std::printf("references/second     %.3f M\n", double(forest.references) / loadMedian / 1e6);
    if (expected)
        std::printf("crate MB/second       %.1f loadCrates, %.1f cat, %.1f read\n",
                    double(expected->fileBytes) / loadMedian / 1e6,
                    double(expected->fileBytes) / catMedian / 1e6,
                    double(expected->fileBytes) / readMedian / 1e6);

    const bool matches = !expected || (forest.references == expected->references &&
                                       forest.leaves == expected->crates &&
                                       forest.smartLeaves == expected->smartCrates);
    if (!matches || !consistent) {
        std::printf("MISMATCH: loadCrates did not see every generated crate and reference\n");
        return exitMismatch;
    }
    std::printf("counts                match\n");
    return exitOk;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Times SeratoLibrary::loadCrates against cat on a synthetic library",
                 "bench_load_crates"};
    app.require_subcommand(1);

    std::string generateDir;
    SyntheticLibrary::Shape shape;
    auto* generateCommand =
        app.add_subcommand("generate", "Write a synthetic library into DIR/_Serato_");
    generateCommand->add_option("DIR", generateDir, "Folder to create _Serato_ in")->required();
    generateCommand->add_option("--crates", shape.crates, "Crate files, smart crates included")
        ->capture_default_str();
    generateCommand->add_option("--refs", shape.references, "Track references in all")
        ->capture_default_str();
    generateCommand->add_option("--seed", shape.seed, "Generator seed")->capture_default_str();

    std::string measureDir;
    int rounds = 5;
    auto* measureCommand = app.add_subcommand("measure", "Time loadCrates and cat on DIR/_Serato_");
    measureCommand->add_option("DIR", measureDir, "Folder holding _Serato_ (or _Serato_ itself)")
        ->required();
    measureCommand->add_option("--rounds", rounds, "Timed rounds after the warm-up")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exitOk : exitUsage;
    }

    try {
        if (*generateCommand) return runGenerate(generateDir, shape);
        return runMeasure(measureDir, rounds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_load_crates: %s\n", error.what());
        return exitUsage;
    }
}
