#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "library/master_database.h"

namespace morrowdeck::cli {

// What `inspect` tells of Serato's library database: its volumes, the crate tree with each
// crate's track count per volume, smart crates, the number of tracks and what could not be
// read. Adds "volumes", "crates", "assets" and "warnings" to `document` and lines to `summary`.
void describeMasterDatabase(const MasterDatabase& database, nlohmann::ordered_json& document,
                            std::string& summary);

// The crates whose lists differ between the database `file` and the crate files: those saved
// beside it when it is a backup's copy (in the backup's metadata folder), else those of the
// default library. Adds "differingCrates" {"comparedWith", "crates"} to `document` and lines to
// `summary`; nothing when there is no library to compare with or the database's crates cannot
// be merged with it (read in part, or no volume of the library).
void describeDifferingCrates(const std::filesystem::path& file, const MasterDatabase& database,
                             nlohmann::ordered_json& document, std::string& summary);

}  // namespace morrowdeck::cli
