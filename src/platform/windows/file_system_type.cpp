#include <windows.h>

#include <cwctype>

#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "platform/shared_file_operations.h"
#include "platform/windows/system_path.h"

namespace morrowdeck::platform {

// The volume holding the path names its file system ("NTFS", "FAT32", "exFAT").
std::optional<shared::FileSystemType> shared::fileSystemTypeOf(const std::filesystem::path& path) {
    wchar_t root[MAX_PATH + 1] = {};
    // GetVolumePathNameW answers for paths that do not exist yet, from their text.
    if (!::GetVolumePathNameW(windows::systemPath(path).c_str(), root, MAX_PATH + 1))
        return std::nullopt;
    wchar_t type[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, type, MAX_PATH + 1))
        return std::nullopt;
    std::wstring name = type;
    for (auto& c : name)
        c = static_cast<wchar_t>(std::towlower(c));
    return FileSystemType{0, toUtf8(std::filesystem::path(name))};
}

}  // namespace morrowdeck::platform
