#include "platform/processes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>
#include <string>

namespace morrowdeck::platform {

namespace {

// "Serato DJ Pro.exe", "Serato DJ Lite.exe" and Serato's other programs, any letter case.
bool mentionsSerato(std::wstring name) {
    for (auto& c : name)
        c = static_cast<wchar_t>(std::towlower(c));
    return name.find(L"serato") != std::wstring::npos;
}

}  // namespace

// A snapshot of the running processes; `proc` means nothing on Windows.
SeratoProcess seratoProcess(const std::filesystem::path&) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return SeratoProcess::unknown;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    SeratoProcess answer = SeratoProcess::unknown;
    if (::Process32FirstW(snapshot, &entry)) {
        answer = SeratoProcess::notRunning;
        do {
            if (mentionsSerato(entry.szExeFile)) {
                answer = SeratoProcess::running;
                break;
            }
        } while (::Process32NextW(snapshot, &entry));
    }
    ::CloseHandle(snapshot);
    return answer;
}

}  // namespace morrowdeck::platform
