#pragma once
// Internal to the Windows backend: how a path crosses into the Win32 API, and how Win32 errors
// come back as the errno values the platform interface reports.
#include <filesystem>
#include <string>

namespace morrowdeck::platform::windows {

// The path as the wide Win32 calls take it: absolute, with backslashes, and with the `\\?\`
// prefix (`\\?\UNC\server\share\…` for a share) so that paths over 260 characters work
// whatever the system's long-path setting. "." and ".." parts are resolved first, as the prefix
// turns off Windows' own resolution of them.
std::wstring systemPath(const std::filesystem::path& path);

// The path a Win32 call returned, without the `\\?\` prefix it may carry.
std::filesystem::path fromSystemPath(std::wstring text);

// The errno value for a Win32 error code (GetLastError()); EIO for codes without a match.
int errnoFromWin32(unsigned long error);

// errnoFromWin32(GetLastError()).
int lastErrno();

}  // namespace morrowdeck::platform::windows
