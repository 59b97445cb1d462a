#include "platform/path_text.h"

#include <windows.h>

#include <string>

namespace morrowdeck::platform {

// Windows names files in UTF-16. Both directions convert explicitly: a narrow
// std::filesystem::path would decode the text in the ANSI code page and turn "ü" into "Ã¼".
std::filesystem::path toPath(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return std::filesystem::path(std::move(wide));
}

// The text uses '/' between names, as the rest of the program (and Serato's own crate files)
// does; the Win32 calls accept both separators, and the backend turns them into '\' where the
// long-path prefix needs that.
std::string toUtf8(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                          nullptr, nullptr);
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
}

bool isSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

}  // namespace morrowdeck::platform
