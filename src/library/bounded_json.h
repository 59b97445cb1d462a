#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>

namespace morrowdeck {

// How deeply the containers of a JSON document read from a file may nest. The documents this
// program stores nest three levels; the limit keeps every recursive walk over a parsed
// document (nlohmann::json's dump, copy and comparison recurse) far from the end of the stack,
// whatever a damaged or hostile file holds.
inline constexpr int maxJsonDepth = 64;

// Parses strict JSON (nothing after the value). A text that is not valid JSON, or whose
// arrays and objects nest more than maxJsonDepth levels deep, gives a discarded value
// (is_discarded()) and, when `problem` is given, a short reason: "not valid JSON" or "nested
// more than 64 levels deep". Deep input is refused without recursion. Never throws except
// for allocation failure.
nlohmann::json parseBoundedJson(std::string_view text, std::string* problem = nullptr);
nlohmann::json parseBoundedJson(std::span<const std::uint8_t> bytes,
                                std::string* problem = nullptr);

// A value as short JSON text for a log line: at most about `limit` bytes (cut on a character
// boundary and ended with "…"), containers shown only two levels deep ("[…]", "{…}" below),
// long strings cut before they are rendered. Its cost does not grow with the value's size.
std::string jsonPreview(const nlohmann::json& value, std::size_t limit = 60);

}  // namespace morrowdeck
