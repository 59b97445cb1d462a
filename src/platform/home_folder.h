#pragma once

#include <filesystem>
#include <string>

namespace morrowdeck::platform {

// The current user's home folder: $HOME when set and not empty, otherwise the password
// database entry of the real user, otherwise "/".
std::filesystem::path homeFolder();

// The current user's login name: $USER when set and not empty, otherwise the password
// database entry of the real user, otherwise "".
std::string userName();

}  // namespace morrowdeck::platform
