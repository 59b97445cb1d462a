#include "platform/mount_table.h"

#include <windows.h>

#include <cstdio>
#include <cwctype>

#include "platform/path_text.h"

namespace morrowdeck::platform {

namespace {

struct VolumeFacts {
    std::wstring label;
    std::wstring fileSystem;
    DWORD serial = 0;
};

// Label and file-system name of the volume whose root is `root` ("D:\"). Asked without the
// system's "insert a disk" dialog for an empty card reader; false when the drive is not ready.
bool volumeFacts(const std::wstring& root, VolumeFacts& facts) {
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t type[MAX_PATH + 1] = {};
    DWORD serial = 0;
    const bool ok = ::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr,
                                            nullptr, type, MAX_PATH + 1);
    ::SetThreadErrorMode(oldMode, nullptr);
    if (!ok) return false;
    facts.label = label;
    facts.fileSystem = type;
    facts.serial = serial;
    for (auto& c : facts.fileSystem)
        c = static_cast<wchar_t>(std::towlower(c));
    return true;
}

}  // namespace

// Windows has no mount table: every drive letter with a ready volume is one mount, named "D:/"
// (source, mount point) with its file system's name in lower case ("ntfs", "fat32", "exfat").
// Only the system's own table is known; any other table path lists no mounts.
std::vector<Mount> readMountTable(const std::filesystem::path& table) {
    std::vector<Mount> mounts;
    if (table != systemMountTable) return mounts;
    wchar_t buffer[512] = {};
    const DWORD length = ::GetLogicalDriveStringsW(sizeof buffer / sizeof buffer[0], buffer);
    if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) return mounts;
    for (const wchar_t* drive = buffer; *drive; drive += std::wcslen(drive) + 1) {
        VolumeFacts facts;
        if (!volumeFacts(drive, facts)) continue;
        const std::string root = toUtf8(std::filesystem::path(drive));
        mounts.push_back({root, root, toUtf8(std::filesystem::path(facts.fileSystem))});
    }
    return mounts;
}

std::string volumeLabel(const std::string& device) {
    VolumeFacts facts;
    if (!volumeFacts(toPath(device).native(), facts)) return {};
    return toUtf8(std::filesystem::path(facts.label));
}

// The serial number as Windows' own "vol" and "dir" print it: two groups of four hex digits.
std::string volumeUuid(const std::string& device) {
    VolumeFacts facts;
    if (!volumeFacts(toPath(device).native(), facts) || facts.serial == 0) return {};
    char text[10] = {};
    std::snprintf(text, sizeof text, "%04lX-%04lX",
                  static_cast<unsigned long>(facts.serial >> 16),
                  static_cast<unsigned long>(facts.serial & 0xFFFF));
    return text;
}

}  // namespace morrowdeck::platform
