#include "library/read_report.h"

#include "platform/path_text.h"

namespace morrowdeck {

std::string ReadReport::warning(std::string_view kind, const std::filesystem::path& file,
                                std::string_view unit) const {
    std::string line = std::string(kind) + " " + platform::toUtf8(file) + " is damaged";
    if (!header) line += " (no Serato header)";
    line += ": read " + std::to_string(read) + " " + std::string(unit) + "(s)";
    if (unreadable != 0) line += ", skipped " + std::to_string(unreadable) + " unreadable";
    if (usedBytes != totalBytes)
        line += ", stopped at byte " + std::to_string(usedBytes) + " of " +
                std::to_string(totalBytes);
    return line + ".";
}

}  // namespace morrowdeck
