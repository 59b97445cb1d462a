#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/serato_sql.h"

// The JSON form of SeratoSQL::Library, as stored in "serato.json" and "apply.json":
// {"assets":{"<key>":{"rating":0.8,"color":3,"bpm":120.0,"playCount":7,
//                     "fields":{"key":"Am","bpm":120.0,"file_size":8123456}}},
//  "smartCrates":[{"name":"...","rules":"..."}]}
// "fields" holds the columns of the track's database row; files without it are read as before,
// and readers that do not know it ignore it.
namespace morrowdeck::SeratoSQL {

// Both top-level members always present; absent asset values left out (never null); rating
// and bpm as JSON floats (4.0 stays "4.0"), color and playCount as JSON integers. A rating or
// bpm that is not finite has no JSON form and is left out as well. "fields" is written only
// when there are some: integers and reals as such, NULL as null, text as a string, and text
// that is not valid UTF-8 (a BLOB's bytes) as {"hex": "<lower-case hex digits>"}, so that no
// byte is lost; a real that is not finite is left out.
nlohmann::json toJson(const Library& library);

// toJson, compact. Text that is not valid UTF-8 is written with U+FFFD.
std::string encodeJson(const Library& library);

// Absent when "assets" is not an object or "smartCrates" not an array. Asset members that are
// missing or null are absent; rating takes numbers from 0 to 1, bpm any number, color integers
// and playCount integers from 0 (floats with an exact 64-bit integer value included). Any
// other value of those four members (a string, 7.5, 2^64, a rating of 1.5, a count of -1) is
// left out, as is an asset that is not an object and a smart crate whose "name" or "rules" is
// not a string (missing included): every other value is kept. A "fields" member that is not
// an object is left out, and so is each field whose value is not one toJson writes.
// `skipped`, when given, gets one line for each, such as `rating of "a.mp3" (1.5: not from 0
// to 1)`. Unknown members are ignored.
std::optional<Library> fromJson(const nlohmann::json& document,
                                std::vector<std::string>* skipped = nullptr);

// Parses the text (strict JSON, nothing after the value, nested at most maxJsonDepth levels)
// and applies fromJson. When the document cannot be used at all, `skipped` also gets a line
// saying why, such as `whole file (not valid JSON)`. Never throws except for allocation failure.
std::optional<Library> decodeJson(std::string_view text,
                                  std::vector<std::string>* skipped = nullptr);

}  // namespace morrowdeck::SeratoSQL
