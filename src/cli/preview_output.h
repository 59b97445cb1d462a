#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/run_preview.h"
#include "engine/run_problem.h"

namespace morrowdeck::cli {

// The `problems` array of --json: one {path, kind, message} per file a run left out.
nlohmann::ordered_json problemsJson(const std::vector<RunProblem>& problems);

// Prints a dry run's plan: per crate the files and bytes to copy, up to date and left out
// (with each such track's path) or why the run leaves the whole folder out, the totals, the
// destination's free space and whether the run fits; as one JSON document with `json`.
// Returns the exit status the run would start with: 2 when it would be refused for want of
// space (`refuseWhenFull`), 1 when tracks are left out, else 0. `extra` holds further members
// of the JSON document, after the others.
int printPreview(std::ostream& out, const RunPreview& preview, bool json, bool refuseWhenFull,
                 const nlohmann::ordered_json& extra = nlohmann::ordered_json::object());

}  // namespace morrowdeck::cli
