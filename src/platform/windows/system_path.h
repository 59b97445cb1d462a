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

// True when plain Win32 would refuse the last name of the path, or change it: a character
// Windows does not allow in names (< > : " | ? * and control characters; a ':' would name an
// alternate data stream on NTFS), a final dot or space ("Hits." would become "Hits"), or a
// device name ("CON", "nul.txt", "COM1"). The long-path prefix lets such names through, but
// Explorer and most programs, Serato among them, cannot open them afterwards: the backend
// refuses to create them (EINVAL), as Windows itself does without the prefix.
bool refusedName(const std::filesystem::path& path);

// The errno value for a Win32 error code (GetLastError()); EIO for codes without a match.
int errnoFromWin32(unsigned long error);

// errnoFromWin32(GetLastError()).
int lastErrno();

}  // namespace morrowdeck::platform::windows
