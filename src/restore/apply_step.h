#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace morrowdeck {

// The outcome of writing staged ratings and rules into Serato's database.
struct ApplyOutcome {
    std::string message;   // the text shown to the user
    bool applied = false;  // true only for the "Applied …" message
    std::int64_t assetsUpdated = 0;
    std::int64_t rulesWritten = 0;
    std::vector<std::string> warnings{};  // staged smart crates whose rules were not written
};

// Writes the ratings, colours, play counts and smart-crate rules a restore staged in the
// library's ".morrowdeck/apply.json" into Serato's "master.sqlite", after checking that
// Serato is not running and saving the database into the library's undo folder first.
// Blocking and Qt-free; call it off the UI thread. `seratoFolder` is the library folder or a
// folder holding one; `proc` is the process table to check; `database` is the database to
// write, empty for the home folder's.
ApplyOutcome applyToSerato(const std::filesystem::path& seratoFolder,
                           const std::filesystem::path& proc = "/proc",
                           const std::filesystem::path& database = {});

}  // namespace morrowdeck
