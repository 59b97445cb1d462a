#include <windows.h>

#include <cwctype>

#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "platform/windows/system_path.h"

namespace morrowdeck::platform {

namespace {

// The volume holding the path names its file system ("NTFS", "FAT32", "exFAT").
std::optional<std::string> fileSystemType(const std::filesystem::path& path) {
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
    return toUtf8(std::filesystem::path(name));
}

}  // namespace

std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path) {
    const auto type = fileSystemType(path);
    return type ? granularityForFileSystemName(*type) : std::chrono::nanoseconds(1);
}

std::optional<std::int64_t> largestFileSize(const std::filesystem::path& path) {
    const auto type = fileSystemType(path);
    return type ? largestFileForFileSystemName(*type) : std::nullopt;
}

}  // namespace morrowdeck::platform
