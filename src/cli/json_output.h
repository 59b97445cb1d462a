#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>

namespace morrowdeck::cli {

// Writes the document followed by a newline. Text that is not valid UTF-8 (Linux paths can
// hold any bytes) is written with U+FFFD instead of aborting the output.
void printJson(std::ostream& out, const nlohmann::ordered_json& document);

}  // namespace morrowdeck::cli
