#include "library/serato_sql_json.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace morrowdeck::SeratoSQL {

namespace {

using nlohmann::json;

// The outcome of reading one optional member: failed marks a value of the wrong kind.
template <typename T>
struct Member {
    std::optional<T> value;
    bool failed = false;
};

template <typename T>
Member<T> fail() {
    return {std::nullopt, true};
}

const json* find(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

Member<double> readDouble(const json& object, const char* key) {
    const json* value = find(object, key);
    if (value == nullptr) return {};
    if (!value->is_number()) return fail<double>();
    return {value->get<double>()};
}

Member<std::int64_t> readInt64(const json& object, const char* key) {
    const json* value = find(object, key);
    if (value == nullptr) return {};
    if (value->is_number_integer() && !value->is_number_unsigned())
        return {value->get<std::int64_t>()};
    if (value->is_number_unsigned()) {
        const auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return fail<std::int64_t>();
        return {static_cast<std::int64_t>(number)};
    }
    if (value->is_number_float()) {
        // 7.0 or 7e0 is 7; 7.5 and values outside the 64-bit range are malformed.
        const double number = value->get<double>();
        constexpr double limit = 9223372036854775808.0;  // 2^63
        if (!(number >= -limit && number < limit) || std::trunc(number) != number)
            return fail<std::int64_t>();
        return {static_cast<std::int64_t>(number)};
    }
    return fail<std::int64_t>();
}

std::optional<AssetMeta> readAsset(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto rating = readDouble(object, "rating");
    const auto color = readInt64(object, "color");
    const auto bpm = readDouble(object, "bpm");
    const auto playCount = readInt64(object, "playCount");
    if (rating.failed || color.failed || bpm.failed || playCount.failed) return std::nullopt;
    return AssetMeta{rating.value, color.value, bpm.value, playCount.value};
}

std::optional<SmartCrate> readCrate(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto name = object.find("name");
    const auto rules = object.find("rules");
    if (name == object.end() || rules == object.end() || !name->is_string() ||
        !rules->is_string()) {
        return std::nullopt;
    }
    return SmartCrate{name->get<std::string>(), rules->get<std::string>()};
}

void putDouble(json& object, const char* key, const std::optional<double>& value) {
    if (value && std::isfinite(*value)) object[key] = *value;
}

void putInt64(json& object, const char* key, const std::optional<std::int64_t>& value) {
    if (value) object[key] = *value;
}

}  // namespace

json toJson(const Library& library) {
    json assets = json::object();
    for (const auto& [key, meta] : library.assets) {
        json entry = json::object();
        putDouble(entry, "rating", meta.rating);
        putInt64(entry, "color", meta.color);
        putDouble(entry, "bpm", meta.bpm);
        putInt64(entry, "playCount", meta.playCount);
        assets[key] = std::move(entry);
    }
    json crates = json::array();
    for (const auto& crate : library.smartCrates)
        crates.push_back({{"name", crate.name}, {"rules", crate.rules}});
    return {{"assets", std::move(assets)}, {"smartCrates", std::move(crates)}};
}

std::string encodeJson(const Library& library) {
    return toJson(library).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<Library> fromJson(const json& document) {
    if (!document.is_object()) return std::nullopt;
    const auto assets = document.find("assets");
    const auto crates = document.find("smartCrates");
    if (assets == document.end() || crates == document.end() || !assets->is_object() ||
        !crates->is_array()) {
        return std::nullopt;
    }
    Library library;
    for (const auto& [key, value] : assets->items()) {
        auto meta = readAsset(value);
        if (!meta) return std::nullopt;
        library.assets.insert_or_assign(key, *meta);
    }
    for (const auto& value : *crates) {
        auto crate = readCrate(value);
        if (!crate) return std::nullopt;
        library.smartCrates.push_back(std::move(*crate));
    }
    return library;
}

std::optional<Library> decodeJson(std::string_view text) {
    try {
        const json document = json::parse(text.begin(), text.end(), nullptr, false);
        if (document.is_discarded()) return std::nullopt;
        return fromJson(document);
    } catch (const json::exception&) {
        return std::nullopt;  // not expected: the parse is non-throwing and every access is checked
    }
}

}  // namespace morrowdeck::SeratoSQL
