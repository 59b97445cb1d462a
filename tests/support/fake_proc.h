#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace morrowdeck::test {

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
