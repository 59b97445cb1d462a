// Decodes arbitrary bytes as the metadata JSON (serato.json / apply.json). Whatever decodes
// must survive encode -> decode unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "library/serato_sql_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace morrowdeck::SeratoSQL;
    const auto decoded = decodeJson(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!decoded) return 0;
    const auto again = decodeJson(encodeJson(*decoded));
    if (!again || !(*again == *decoded)) std::abort();
    return 0;
}
