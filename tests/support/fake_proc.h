#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/backend.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {

// Whether seratoProcess() answers from the process folder a test gives it: Linux reads it (a
// missing folder gives "unknown"), a backend that lists no processes always answers
// "unknown". Windows takes a snapshot of the machine's real processes, which a test can
// neither fake nor make unreadable; processFolderUnread() is the reason such a test skips.
inline bool processFolderRead() { return platform::backend().name != "windows"; }
inline const char* processFolderUnread() {
    return "Windows lists the real processes: a test cannot fake them or hide them";
}

// A /proc-like folder with the given (command name, first argument) processes.
inline std::filesystem::path fakeProc(
    const std::filesystem::path& folder,
    const std::vector<std::pair<std::string, std::string>>& processes) {
    std::filesystem::create_directories(folder / "self");
    int pid = 100;
    for (const auto& [comm, argv0] : processes) {
        const auto dir = folder / std::to_string(pid++);
        writeFile(dir / "comm", comm + "\n");
        writeFile(dir / "cmdline", argv0 + std::string("\0--flag\0", 8));
    }
    return folder;
}

}  // namespace morrowdeck::test
