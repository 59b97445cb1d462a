#pragma once
// The one place where the program's text and the system's paths meet. Everything above
// src/platform holds names as UTF-8 std::string and files as std::filesystem::path, and turns
// one into the other only through these two functions, so that each backend decides what a
// name's bytes mean: on POSIX a path is a byte string and both directions copy the bytes as
// they are (a name that is not valid UTF-8 survives the round trip unchanged); on Windows a
// path is UTF-16 and both directions convert between UTF-8 and UTF-16, never through the
// ANSI code page that a narrow std::filesystem::path constructor would use.
#include <filesystem>
#include <string>
#include <string_view>

namespace morrowdeck::platform {

// The path that the UTF-8 text `utf8` names.
std::filesystem::path toPath(std::string_view utf8);

// The UTF-8 text of `path`, for messages, stored names and comparisons.
std::string toUtf8(const std::filesystem::path& path);

// True when the text names exactly one entry inside a folder on this system: not empty, not
// "." or "..", no NUL and no separator. On Windows a backslash is a separator too and a ':'
// names a drive or a stream, so text read from a backup ("a\..\..\x", "C:x") can never
// reach outside the folder it is joined to.
bool isSingleName(std::string_view name);

}  // namespace morrowdeck::platform
