#include "platform/home_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

namespace morrowdeck::platform {

namespace {

std::wstring environment(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    return value ? std::wstring(value) : std::wstring();
}

}  // namespace

// %USERPROFILE% when set (it names the profile for this process, and lets a script or a test
// point elsewhere), otherwise the shell's profile folder, otherwise the system drive's root.
std::filesystem::path homeFolder() {
    if (auto profile = environment(L"USERPROFILE"); !profile.empty()) return profile;
    PWSTR folder = nullptr;
    std::filesystem::path home = L"C:\\";
    if (::SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &folder) == S_OK) home = folder;
    ::CoTaskMemFree(folder);
    return home;
}

std::filesystem::path applicationDataBelowHome() {
    return L"AppData/Local";
}

std::string userName() {
    std::wstring name = environment(L"USERNAME");
    if (name.empty()) {
        wchar_t buffer[257];
        DWORD size = sizeof buffer / sizeof buffer[0];
        if (::GetUserNameW(buffer, &size) && size > 0) name.assign(buffer, size - 1);
    }
    if (name.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), text.data(), size,
                          nullptr, nullptr);
    return text;
}

}  // namespace morrowdeck::platform
