#pragma once

#include <filesystem>
#include <string>

namespace morrowdeck::platform {

// The current user's home folder: $HOME when set and not empty, otherwise the password
// database entry of the real user, otherwise "/".
std::filesystem::path homeFolder();

// Where programs keep the current user's data, below the home folder: "Library/Application
// Support" on macOS and POSIX systems (Serato's own layout there), "AppData/Local" on Windows.
std::filesystem::path applicationDataBelowHome();

// The current user's login name: $USER when set and not empty, otherwise the password
// database entry of the real user, otherwise "".
std::string userName();

}  // namespace morrowdeck::platform
