#include "library/bounded_json.h"

namespace morrowdeck {

namespace {

using nlohmann::json;

std::string dumped(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A string's JSON text, from no more of it than can show.
void appendString(const std::string& text, std::size_t limit, std::string& out) {
    out += dumped(json(text.substr(0, limit + 1)));
}

// Appends `value` to `out` until `out` holds more than `limit` bytes; containers deeper than
// `depth` levels below this one are shown as "[…]" or "{…}".
void appendPreview(const json& value, int depth, std::size_t limit, std::string& out) {
    if (value.is_string()) {
        appendString(value.get_ref<const std::string&>(), limit, out);
        return;
    }
    if (!value.is_structured()) {
        out += dumped(value);
        return;
    }
    const bool object = value.is_object();
    out += object ? '{' : '[';
    if (!value.empty() && depth == 0) {
        out += "\u2026";
    } else {
        bool first = true;
        for (auto it = value.begin(); it != value.end() && out.size() <= limit; ++it) {
            if (!first) out += ',';
            first = false;
            if (object) {
                appendString(it.key(), limit, out);
                out += ':';
            }
            appendPreview(*it, depth - 1, limit, out);
        }
    }
    out += object ? '}' : ']';
}

}  // namespace

json parseBoundedJson(std::string_view text, std::string* problem) {
    bool tooDeep = false;
    // The callback sees each container as it opens, at its depth (0 for the whole document);
    // one too deep is dropped, and the parser (which keeps its own stack, no recursion) skips
    // what it holds.
    const json::parser_callback_t limitDepth = [&tooDeep](int depth, json::parse_event_t event,
                                                          json&) {
        if ((event == json::parse_event_t::object_start ||
             event == json::parse_event_t::array_start) &&
            depth >= maxJsonDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    };
    json document = json::parse(text.begin(), text.end(), limitDepth, false);
    if (tooDeep) {
        if (problem != nullptr)
            *problem = "nested more than " + std::to_string(maxJsonDepth) + " levels deep";
        return json(json::value_t::discarded);
    }
    if (document.is_discarded() && problem != nullptr) *problem = "not valid JSON";
    return document;
}

json parseBoundedJson(std::span<const std::uint8_t> bytes, std::string* problem) {
    return parseBoundedJson(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), problem);
}

std::string jsonPreview(const json& value, std::size_t limit) {
    std::string text;
    appendPreview(value, 2, limit, text);
    if (text.size() <= limit) return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;  // never inside a UTF-8 sequence
    return text.substr(0, cut) + "\u2026";
}

}  // namespace morrowdeck
