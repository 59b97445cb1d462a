#include "library/serato_sql_json.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "library/bounded_json.h"

namespace morrowdeck::SeratoSQL {

namespace {

using nlohmann::json;

// One optional member: its value, or why the value it holds is not used.
template <typename T>
struct Member {
    std::optional<T> value;
    const char* problem = nullptr;
};

const json* find(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

Member<double> readDouble(const json& object, const char* key) {
    const json* value = find(object, key);
    if (value == nullptr) return {};
    if (!value->is_number()) return {std::nullopt, "not a number"};
    return {value->get<double>()};
}

Member<std::int64_t> int64Of(const json* value) {
    constexpr const char* notWhole = "not a 64-bit whole number";
    if (value->is_number_integer() && !value->is_number_unsigned())
        return {value->get<std::int64_t>()};
    if (value->is_number_unsigned()) {
        const auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return {std::nullopt, notWhole};
        return {static_cast<std::int64_t>(number)};
    }
    if (value->is_number_float()) {
        // 7.0 or 7e0 is 7; 7.5 and values outside the 64-bit range are malformed.
        const double number = value->get<double>();
        constexpr double limit = 9223372036854775808.0;  // 2^63
        if (!(number >= -limit && number < limit) || std::trunc(number) != number)
            return {std::nullopt, notWhole};
        return {static_cast<std::int64_t>(number)};
    }
    return {std::nullopt, notWhole};
}

Member<std::int64_t> readInt64(const json& object, const char* key) {
    const json* value = find(object, key);
    return value == nullptr ? Member<std::int64_t>{} : int64Of(value);
}

// Serato's own database refuses a rating outside 0-1 (and with it the track's other values),
// and a play count is never negative.
Member<double> readRating(const json& object) {
    auto rating = readDouble(object, "rating");
    if (rating.value && !(*rating.value >= 0.0 && *rating.value <= 1.0))
        return {std::nullopt, "not from 0 to 1"};
    return rating;
}

Member<std::int64_t> readCount(const json& object) {
    auto count = readInt64(object, "playCount");
    if (count.value && *count.value < 0) return {std::nullopt, "negative"};
    return count;
}

// Notes a value left out: `what of "key" (value: problem)`.
template <typename T>
void note(std::vector<std::string>* skipped, const Member<T>& member, const char* what,
          const std::string& key, const json& asset, const char* memberKey) {
    if (skipped == nullptr || member.problem == nullptr) return;
    skipped->push_back(std::string(what) + " of \"" + key + "\" (" +
                       jsonPreview(asset.at(memberKey)) + ": " + member.problem + ")");
}

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80 ? 1 : byte >= 0xC2 && byte <= 0xDF ? 2
                                               : byte >= 0xE0 && byte <= 0xEF   ? 3
                                               : byte >= 0xF0 && byte <= 0xF4   ? 4
                                                                                : 0;
        if (length == 0 || text.size() - i < length) return false;
        std::uint32_t scalar = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            scalar = (scalar << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and scalars past U+10FFFF are not UTF-8.
        constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (scalar < least[length] || (scalar >= 0xD800 && scalar <= 0xDFFF) || scalar > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

json fieldJson(const MasterDatabase::Value& value) {
    static constexpr char digits[] = "0123456789abcdef";
    if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
    if (const auto* real = std::get_if<double>(&value)) return *real;
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (isUtf8(*text)) return *text;
        std::string hex;
        for (const char c : *text) {
            hex += digits[static_cast<unsigned char>(c) >> 4];
            hex += digits[static_cast<unsigned char>(c) & 0x0F];
        }
        return {{"hex", hex}};
    }
    return nullptr;
}

std::optional<std::string> fromHex(const json& object) {
    const auto hex = object.find("hex");
    if (object.size() != 1 || hex == object.end() || !hex->is_string()) return std::nullopt;
    const auto& digits = hex->get_ref<const std::string&>();
    if (digits.size() % 2 != 0) return std::nullopt;
    const auto nibble = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = nibble(digits[i]), low = nibble(digits[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::optional<MasterDatabase::Value> fieldValue(const json& value) {
    if (value.is_null()) return MasterDatabase::Value{};
    if (value.is_number_float()) return MasterDatabase::Value{value.get<double>()};
    if (value.is_number()) {
        if (const auto number = int64Of(&value).value) return MasterDatabase::Value{*number};
        return std::nullopt;
    }
    if (value.is_string()) return MasterDatabase::Value{value.get<std::string>()};
    if (value.is_object())
        if (auto bytes = fromHex(value)) return MasterDatabase::Value{std::move(*bytes)};
    return std::nullopt;
}

void readFields(const json& asset, const std::string& key, AssetMeta& meta,
                std::vector<std::string>* skipped) {
    const auto fields = asset.find("fields");
    if (fields == asset.end()) return;
    if (!fields->is_object()) {
        if (skipped != nullptr)
            skipped->push_back("fields of \"" + key + "\" (" + jsonPreview(*fields) +
                               ": not an object)");
        return;
    }
    for (const auto& [column, value] : fields->items()) {
        if (auto field = fieldValue(value)) {
            meta.fields.insert_or_assign(column, std::move(*field));
        } else if (skipped != nullptr) {
            skipped->push_back("field \"" + column + "\" of \"" + key + "\" (" +
                               jsonPreview(value) + ": not a value of a database column)");
        }
    }
}

AssetMeta readAsset(const json& asset, const std::string& key, std::vector<std::string>* skipped) {
    const auto rating = readRating(asset);
    const auto color = readInt64(asset, "color");
    const auto bpm = readDouble(asset, "bpm");
    const auto playCount = readCount(asset);
    note(skipped, rating, "rating", key, asset, "rating");
    note(skipped, color, "color", key, asset, "color");
    note(skipped, bpm, "bpm", key, asset, "bpm");
    note(skipped, playCount, "play count", key, asset, "playCount");
    AssetMeta meta{rating.value, color.value, bpm.value, playCount.value};
    readFields(asset, key, meta, skipped);
    return meta;
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
        if (!meta.fields.empty()) {
            json fields = json::object();
            for (const auto& [column, value] : meta.fields) {
                const auto* real = std::get_if<double>(&value);
                if (real == nullptr || std::isfinite(*real)) fields[column] = fieldJson(value);
            }
            entry["fields"] = std::move(fields);
        }
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

std::optional<Library> fromJson(const json& document, std::vector<std::string>* skipped) {
    if (!document.is_object()) return std::nullopt;
    const auto assets = document.find("assets");
    const auto crates = document.find("smartCrates");
    if (assets == document.end() || crates == document.end() || !assets->is_object() ||
        !crates->is_array()) {
        return std::nullopt;
    }
    Library library;
    for (const auto& [key, value] : assets->items()) {
        if (!value.is_object()) {
            if (skipped != nullptr)
                skipped->push_back("asset \"" + key + "\" (" + jsonPreview(value) +
                                   ": not an object)");
            continue;
        }
        library.assets.insert_or_assign(key, readAsset(value, key, skipped));
    }
    std::size_t number = 0;
    for (const auto& value : *crates) {
        ++number;
        if (auto crate = readCrate(value)) {
            library.smartCrates.push_back(std::move(*crate));
        } else if (skipped != nullptr) {
            skipped->push_back("smart crate " + std::to_string(number) + " (" + jsonPreview(value) +
                               ": no text name and rules)");
        }
    }
    return library;
}

std::optional<Library> decodeJson(std::string_view text, std::vector<std::string>* skipped) {
    try {
        std::string problem;
        const json document = parseBoundedJson(text, &problem);
        auto library = document.is_discarded() ? std::nullopt : fromJson(document, skipped);
        if (!library && skipped != nullptr) {
            if (problem.empty()) problem = R"(no "assets" object and "smartCrates" array)";
            skipped->push_back("whole file (" + problem + ")");
        }
        return library;
    } catch (const json::exception&) {
        return std::nullopt;  // not expected: the parse is non-throwing and every access is checked
    }
}

}  // namespace morrowdeck::SeratoSQL
