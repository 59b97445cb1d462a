#include "backup/database_rows.h"

#include "engine/backup_layout.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/file_operations.h"

namespace morrowdeck {

namespace {

// A volume's mount path and a path relative to it, joined with one "/".
std::string joined(std::string_view volume, std::string_view portable) {
    while (volume.ends_with('/'))
        volume.remove_suffix(1);
    while (portable.starts_with('/'))
        portable.remove_prefix(1);
    return std::string(volume) + "/" + std::string(portable);
}

}  // namespace

DatabaseRows DatabaseRows::read(const std::filesystem::path& file, const std::vector<Track>& tracks,
                                std::chrono::milliseconds wait) {
    DatabaseRows rows;
    // Libraries of older Serato versions have none.
    if (!platform::itemExists(file)) return rows;
    rows.exists_ = true;
    std::unordered_set<std::string> wanted;
    for (const auto& track : tracks) {
        wanted.insert(text::nfcKey(track.stored));
        wanted.insert(text::nfcKey(BackupLayout::pfilKey(track.full)));
    }
    MasterDatabase::Options options;
    options.busyTimeout = wait;
    options.keepAsset = [&](std::int64_t, const std::string& portable) {
        return wanted.contains(text::nfcKey(portable));
    };
    rows.database_ = MasterDatabase::read(file, options);

    std::unordered_map<std::int64_t, const std::string*> volumePaths;
    for (const auto& volume : rows.database_.volumes)
        if (!volume.path.empty()) volumePaths.emplace(volume.id, &volume.path);
    for (const auto& asset : rows.database_.assets) {
        if (const auto volume = volumePaths.find(asset.volumeId); volume != volumePaths.end())
            rows.byFullPath_[text::nfcKey(joined(*volume->second, asset.portableId))] = &asset;
        rows.byStoredPath_[asset.portableId] = &asset;  // by id: the last row wins
    }
    for (const auto& [key, asset] : rows.byStoredPath_)
        rows.canonical_.try_emplace(text::nfcKey(key), key);
    return rows;
}

const MasterDatabase::Asset* DatabaseRows::find(const Track& track) const {
    if (const auto row = byFullPath_.find(text::nfcKey(track.full)); row != byFullPath_.end())
        return row->second;
    // As the ratings are found: the stored path, the full path without its leading
    // separator, then either spelled in the other normalisation form.
    for (const auto& key : {track.stored, BackupLayout::pfilKey(track.full)})
        if (const auto row = byStoredPath_.find(key); row != byStoredPath_.end())
            return row->second;
    for (const auto& key : {track.stored, BackupLayout::pfilKey(track.full)})
        if (const auto alias = canonical_.find(text::nfcKey(key)); alias != canonical_.end())
            return byStoredPath_.at(alias->second);
    return nullptr;
}

std::map<std::string, MasterDatabase::Value> DatabaseRows::fields(
    const MasterDatabase::Asset& row) {
    std::map<std::string, MasterDatabase::Value> fields;
    for (const auto& [column, value] : row.fields)
        if (!std::holds_alternative<std::monostate>(value)) fields.emplace(column, value);
    for (const auto& [column, value] : row.extra)
        if (value) fields.emplace(column, *value);
    return fields;
}

std::optional<std::unordered_set<std::string>> DatabaseRows::crateFolders() const {
    if (exists_ && (!database_.opened || database_.partial)) return std::nullopt;
    std::unordered_set<std::string> folders;
    std::vector<std::string> path;
    const auto add = [&](auto& self, const MasterDatabase::Container& container) -> void {
        const std::string name = text::trimSeparators(container.name);
        if (!name.empty()) path.push_back(name);
        if (!path.empty()) {
            const bool isSmart = container.type == MasterDatabase::Container::smartCrateType;
            const std::string folder = BackupLayout::joinComponents(path);
            folders.insert(text::nfcKey(
                isSmart ? std::string(SeratoLibrary::smartCratesGroup) + "/" + folder : folder));
        }
        for (const auto& child : container.children)
            self(self, child);
        if (!name.empty()) path.pop_back();
    };
    for (const auto& container : database_.containers)
        add(add, container);
    return folders;
}

}  // namespace morrowdeck
