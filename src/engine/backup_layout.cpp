#include "engine/backup_layout.h"

#include "platform/path_text.h"

namespace morrowdeck::BackupLayout {

const std::string_view smartCrateNotes =
    "These .scrate files are your Serato Smart Crate definitions.\n"
    "\n"
    "To restore them, copy the .scrate files into:\n"
    "    ~/Music/_Serato_/SmartCrates/\n"
    "on the target Mac, then relaunch Serato. The Smart Crates reappear and\n"
    "re-evaluate against that library.";

const std::string_view replacedNotes =
    "\n\n"
    "When a later backup replaces a file of this backup (a track edited in Serato, say), the\n"
    "older file is kept in .morrowdeck/Replaced/, in a folder named by that backup's date,\n"
    "under the same path. The last few backups' replaced files are kept.";

std::string joinComponents(const std::vector<std::string>& components) {
    std::string joined;
    for (const auto& component : components) {
        if (!joined.empty()) joined += '/';
        joined += component;
    }
    return joined;
}

std::vector<std::string> splitComponents(std::string_view path) {
    std::vector<std::string> components;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        components.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

bool isSafeFolderPath(const std::vector<std::string>& components) {
    for (const auto& component : components) {
        if (!platform::isSingleName(component)) return false;
    }
    return true;
}

std::string fileName(std::string_view trackPath) {
    const std::size_t slash = trackPath.rfind('/');
    return std::string(slash == std::string_view::npos ? trackPath : trackPath.substr(slash + 1));
}

std::string folderOf(std::string_view relPath) {
    const std::size_t slash = relPath.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view()
                                                       : relPath.substr(0, slash));
}

std::string relPath(const std::vector<std::string>& components, std::string_view name) {
    return joinComponents(components) + "/" + std::string(name);
}

std::string numberedName(std::string_view name, int n) {
    const std::size_t dot = name.rfind('.');
    const std::size_t stemEnd = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
    return std::string(name.substr(0, stemEnd)) + " (" + std::to_string(n) + ")" +
           std::string(name.substr(stemEnd));
}

std::string pfilKey(std::string_view trackPath) {
    const std::size_t start = trackPath.find_first_not_of('/');
    return start == std::string_view::npos ? std::string() : std::string(trackPath.substr(start));
}

std::optional<std::filesystem::path> storeFile(const std::filesystem::path& storeFolder,
                                               std::string_view trackPath) {
    std::string_view rest = trackPath;
    if (rest.starts_with('/')) rest.remove_prefix(1);
    // Walk the components: none may climb out, and the last must name a file.
    std::size_t start = 0;
    std::string_view last;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find('/', start), rest.size());
        last = rest.substr(start, end - start);
        if (last == "..") return std::nullopt;
        start = end + 1;
    }
    if (last.empty() || last == ".") return std::nullopt;
    // String concatenation, not operator/: a rest starting with "/" must not replace the base.
    return platform::toPath(platform::toUtf8(storeFolder) + "/" + std::string(rest));
}

}  // namespace morrowdeck::BackupLayout
