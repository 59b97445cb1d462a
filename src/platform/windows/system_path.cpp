#include "platform/windows/system_path.h"

#include <windows.h>

#include <cerrno>
#include <cwctype>
#include <string_view>

namespace morrowdeck::platform::windows {

std::wstring systemPath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) full = path;
    std::wstring text = full.lexically_normal().make_preferred().native();
    if (text.starts_with(L"\\\\?\\")) return text;
    if (text.starts_with(L"\\\\.\\")) return text;  // devices (\\.\PhysicalDrive0) stay as named
    if (text.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + text.substr(2);
    // A folder's trailing backslash (from "C:\dir\") is dropped, but never the root's.
    while (text.size() > 3 && text.back() == L'\\')
        text.pop_back();
    return L"\\\\?\\" + text;
}

std::filesystem::path fromSystemPath(std::wstring text) {
    if (text.starts_with(L"\\\\?\\UNC\\")) text = L"\\\\" + text.substr(8);
    else if (text.starts_with(L"\\\\?\\")) text = text.substr(4);
    return std::filesystem::path(text);
}

bool refusedName(const std::filesystem::path& path) {
    const std::wstring name = path.filename().native();
    if (name.empty() || name == L"." || name == L"..") return false;
    for (const wchar_t c : name)
        if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) return true;
    if (name.back() == L'.' || name.back() == L' ') return true;
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (auto& c : base)
        c = static_cast<wchar_t>(std::towupper(c));
    static constexpr std::wstring_view devices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
    for (const auto device : devices)
        if (base == device) return true;
    // COM1…COM9 and LPT1…LPT9, with the superscript digits ¹ ² ³ that Windows also takes.
    return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) &&
           ((base[3] >= L'1' && base[3] <= L'9') || base[3] == L'\u00B9' || base[3] == L'\u00B2' ||
            base[3] == L'\u00B3');
}

int errnoFromWin32(unsigned long error) {
    switch (error) {
        case ERROR_SUCCESS: return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NOT_READY:
        case ERROR_DIRECTORY: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER: return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION: return ENOTSUP;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return EPIPE;
        case ERROR_TOO_MANY_LINKS: return EMLINK;
        case ERROR_OPERATION_ABORTED: return EINTR;
        default: return EIO;
    }
}

int lastErrno() {
    return errnoFromWin32(GetLastError());
}

}  // namespace morrowdeck::platform::windows
