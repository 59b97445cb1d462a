#pragma once

#include <filesystem>

namespace morrowdeck::platform {

// Whether Serato runs, as far as this system lets a program see.
enum class SeratoProcess { notRunning, running, unknown };

// `running` when a process looks like Serato: "serato" (any letter case) in its command name or
// in the base name of its first argument. The Linux backend scans the given /proc folder (a
// test passes a fake one); a backend that cannot list processes answers `unknown`, and the
// caller goes on and says it could not tell.
SeratoProcess seratoProcess(const std::filesystem::path& proc = "/proc");

}  // namespace morrowdeck::platform
