#pragma once

#include <filesystem>

namespace morrowdeck::platform {

// True when a running process looks like Serato: "serato" (any letter case) in its command
// name or in the base name of its first argument. Scans the given /proc folder.
bool isSeratoRunning(const std::filesystem::path& proc = "/proc");

}  // namespace morrowdeck::platform
