#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The further databases Serato's master.sqlite names in its `connection` table, one per
// volume (a drive's own library database), by URI.
namespace morrowdeck::SeratoConnections {

// The `database_uri` values, in `location_id` order, read through a read-only connection
// (a missing table gives none). Empty `problem` on success, else what went wrong.
std::vector<std::string> uris(const std::filesystem::path& database, std::string& problem);

// The local file a URI names, or absent for anything this program will not open: "file:"
// URIs without a host or with "localhost" (query and fragment dropped, %XX decoded) and
// absolute plain paths only (with a drive where paths have drives: "file:///C:/x" is "C:/x");
// never another scheme, a relative path, a ".." component or NUL.
std::optional<std::filesystem::path> localPath(std::string_view uri);

}  // namespace morrowdeck::SeratoConnections
