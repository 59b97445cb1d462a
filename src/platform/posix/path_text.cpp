#include "platform/path_text.h"

namespace morrowdeck::platform {

// A POSIX path is a string of bytes that the program treats as UTF-8, so both directions copy
// the bytes unchanged, whatever they are. (The Windows backend converts UTF-8 to UTF-16 here.)
std::filesystem::path toPath(std::string_view utf8) {
    return std::filesystem::path(utf8);
}

// The path's own bytes. (The Windows backend converts its UTF-16 to UTF-8 here.)
std::string toUtf8(const std::filesystem::path& path) {
    return path.native();
}

bool isSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace morrowdeck::platform
