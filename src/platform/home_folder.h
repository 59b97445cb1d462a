#pragma once

#include <filesystem>

namespace morrowdeck::platform {

// The current user's home folder: $HOME when set and not empty, otherwise the password
// database entry of the real user, otherwise "/".
std::filesystem::path homeFolder();

}  // namespace morrowdeck::platform
