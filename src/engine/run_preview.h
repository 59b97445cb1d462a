#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_problem.h"

namespace morrowdeck {

// What a run would do, planned by the engine itself without writing anything: per crate the
// files and bytes still to copy, those already up to date and the ones it cannot take, then the
// destination's free space. The backup's fit check and both dry runs read it.
struct RunPreview {
    struct Tally {
        std::string name;  // the crate's path ("House/Deep"); empty for the totals
        std::int64_t filesToCopy = 0;
        std::int64_t bytesToCopy = 0;
        std::int64_t filesUpToDate = 0;
        std::int64_t bytesUpToDate = 0;
        std::int64_t filesToLink = 0;  // hard links into the crate folder (no data copied)
        // Of the files to copy, those replacing a file already there and those written beside
        // one under another name (a restore that keeps both); the rest are new. Files already
        // there that stay count as up to date.
        std::int64_t filesToReplace = 0;
        std::int64_t filesBesideExisting = 0;
        // What the files to copy take on the destination beyond their bytes: each rounded up
        // to the destination's allocation unit (0 when not known).
        std::int64_t allocationSlack = 0;
        std::vector<RunProblem> problems;  // missing or unsafe tracks of this crate
        // Why the run leaves this folder out as a whole ("" when it does not); its files are
        // then in none of the counts.
        std::string leftOut;

        void add(const Tally& other);
    };

    std::vector<Tally> crates;  // in the run's order
    bool countsExisting = false;  // whether the tallies tell replaced and beside-existing files
    std::filesystem::path destination;
    std::string drive;                      // the destination volume's name
    std::optional<std::int64_t> freeBytes;  // absent when unknown (or no destination)
    std::int64_t allocationUnit = 1;        // of the destination's volume; 1 when unknown
    // What the run would tell before it copies (names it stores in another form), one
    // sentence each.
    std::vector<std::string> notices;

    Tally total() const;
    // The space the files to copy need: their bytes with the allocation slack.
    std::int64_t neededBytes() const;
    // True unless the free space is known and smaller than the space needed.
    bool fits() const;
    // "Not enough space on {drive}: {need} needed, {free} free."
    std::string notEnoughSpaceText() const;

    // The free space and allocation unit of the volume that will hold `destination` (its
    // nearest existing ancestor's) and that volume's name.
    void measureDestination(const std::filesystem::path& destination);

    // A file of `bytes` on a volume that allocates in units of `unit`: the bytes rounded up
    // to a whole number of units (an empty file takes none).
    static std::int64_t allocatedSize(std::int64_t bytes, std::int64_t unit);
};

}  // namespace morrowdeck
