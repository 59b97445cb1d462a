#include "cli/json_output.h"

#include <ostream>

namespace morrowdeck::cli {

void printJson(std::ostream& out, const nlohmann::ordered_json& document) {
    out << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace morrowdeck::cli
