#include "platform/home_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/path_text.h"

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
    // A login name holds no separator, so the path conversion gives its UTF-8 unchanged.
    return toUtf8(std::filesystem::path(std::move(name)));
}

}  // namespace morrowdeck::platform
