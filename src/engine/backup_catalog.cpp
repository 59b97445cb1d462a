#include "engine/backup_catalog.h"

#include <nlohmann/json.hpp>
#include <unordered_set>

namespace morrowdeck {

namespace {

std::string folderOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace

std::vector<std::uint8_t> BackupCatalog::encode() const {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& track : tracks)
        list.push_back({{"file", track.file}, {"source", track.source}});
    nlohmann::ordered_json document = {{"version", 1}};
    if (notInCrateFolder) document["notInCrateFolder"] = *notInCrateFolder;
    if (!storeFolder.empty()) document["storeFolder"] = storeFolder;
    document["tracks"] = std::move(list);
    // Names are raw bytes from the file system; invalid UTF-8 is replaced rather than thrown.
    const std::string text =
        document.dump(1, '\t', false, nlohmann::ordered_json::error_handler_t::replace);
    return {text.begin(), text.end()};
}

std::optional<BackupCatalog> BackupCatalog::decode(std::span<const std::uint8_t> bytes) {
    const auto document = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!document.is_object()) return std::nullopt;
    const auto tracks = document.find("tracks");
    if (tracks == document.end() || !tracks->is_array()) return std::nullopt;

    BackupCatalog catalog;
    for (const auto& track : *tracks) {
        if (!track.is_object()) continue;
        const auto file = track.find("file");
        const auto source = track.find("source");
        if (file == track.end() || source == track.end() || !file->is_string() ||
            !source->is_string())
            continue;
        catalog.tracks.push_back({file->get<std::string>(), source->get<std::string>()});
    }
    if (const auto folder = document.find("notInCrateFolder");
        folder != document.end() && folder->is_string())
        catalog.notInCrateFolder = folder->get<std::string>();
    if (const auto store = document.find("storeFolder");
        store != document.end() && store->is_string())
        catalog.storeFolder = store->get<std::string>();
    return catalog;
}

void BackupCatalog::keepOthersFrom(const BackupCatalog& earlier) {
    std::unordered_set<std::string> folders;
    for (const auto& track : tracks)
        folders.insert(folderOf(track.file));
    for (const auto& track : earlier.tracks)
        if (!folders.contains(folderOf(track.file))) tracks.push_back(track);
    if (!notInCrateFolder) notInCrateFolder = earlier.notInCrateFolder;
    if (storeFolder.empty()) storeFolder = earlier.storeFolder;
}

}  // namespace morrowdeck
