#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "library/master_database.h"

namespace morrowdeck::cli {

// What `inspect` tells of Serato's library database: its volumes, the crate tree with each
// crate's track count per volume, smart crates, the number of tracks and what could not be
// read. Adds "volumes", "crates", "assets" and "warnings" to `document` and lines to `summary`.
void describeMasterDatabase(const MasterDatabase& database, nlohmann::ordered_json& document,
                            std::string& summary);

}  // namespace morrowdeck::cli
