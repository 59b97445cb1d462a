#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace morrowdeck {

// How much of a Serato chunk file (a crate, "database V2") a reader could use. The readers
// fill it and stay silent; whoever loads the file turns a damaged one into one warning line.
struct ReadReport {
    std::size_t read = 0;        // tracks or records read
    std::size_t unreadable = 0;  // entries skipped because they could not be decoded
    std::size_t usedBytes = 0;   // up to the end of the last complete top-level chunk
    std::size_t totalBytes = 0;
    bool header = false;  // the data starts with a "vrsn" chunk, as every Serato file does

    bool damaged() const { return !header || unreadable != 0 || usedBytes != totalBytes; }

    // "{kind} {file} is damaged: read 3 track(s), stopped at byte 120 of 200." with `unit`
    // "track"; " (no Serato header)" and ", skipped 2 unreadable" where they apply.
    std::string warning(std::string_view kind, const std::filesystem::path& file,
                        std::string_view unit) const;
};

}  // namespace morrowdeck
