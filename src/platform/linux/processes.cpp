#include "platform/processes.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/file_system.h"

namespace morrowdeck::platform {

namespace {

bool mentionsSerato(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find("serato") != std::string::npos;
}

std::string firstArgumentBaseName(const std::vector<std::uint8_t>& cmdline) {
    const auto end = std::find(cmdline.begin(), cmdline.end(), std::uint8_t{0});
    const std::string argument(cmdline.begin(), end);
    const std::size_t slash = argument.rfind('/');
    return slash == std::string::npos ? argument : argument.substr(slash + 1);
}

}  // namespace

SeratoProcess seratoProcess(const std::filesystem::path& proc) {
    const auto entries = listDirectory(proc);
    if (!entries) return SeratoProcess::unknown;
    std::vector<std::uint8_t> buffer;
    for (const auto& name : *entries) {
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        if (readFileInto(proc / name / "comm", buffer) &&
            mentionsSerato(std::string(buffer.begin(), buffer.end()))) {
            return SeratoProcess::running;
        }
        if (readFileInto(proc / name / "cmdline", buffer) &&
            mentionsSerato(firstArgumentBaseName(buffer))) {
            return SeratoProcess::running;
        }
    }
    return SeratoProcess::notRunning;
}

}  // namespace morrowdeck::platform
