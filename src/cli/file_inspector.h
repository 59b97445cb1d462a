#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace morrowdeck::cli {

// What a Serato or Morrowdeck file holds, recognised from its content (and from its name
// where the content cannot tell, such as an empty snapshot).
struct Inspection {
    nlohmann::ordered_json document;  // {"kind": ..., ...}
    std::string summary;              // a few readable lines for a person
};

// Absent when the file cannot be read or is of no kind this program knows.
std::optional<Inspection> inspectFile(const std::filesystem::path& file);

}  // namespace morrowdeck::cli
