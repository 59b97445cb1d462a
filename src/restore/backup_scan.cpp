// RestoreEngine::scan: a backup folder read back into crates and smart-crate files, and the
// crates of the backup's last run picked out of them.

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/backup_layout.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"

namespace morrowdeck {

namespace {

std::string lowercaseExtension(const std::filesystem::path& file) {
    std::string ext = platform::toUtf8(file.extension());
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return ext;
}

std::vector<std::string> resolvedComponents(const std::filesystem::path& path) {
    const std::filesystem::path full = platform::resolvedPath(path).value_or(path);
    std::vector<std::string> components;
    for (const auto& part : full)
        components.push_back(platform::toUtf8(part));
    return components;
}

}  // namespace

const std::set<std::string>& RestoreEngine::audioExtensions() {
    static const std::set<std::string> extensions{"mp3",  "m4a", "aac",  "aif", "aiff",
                                                  "aifc", "wav", "flac", "ogg", "alac",
                                                  "mp4",  "wma", "wv",   "ofr", "opus"};
    return extensions;
}

void RestoreEngine::scan(const std::filesystem::path& folder,
                         const std::filesystem::path& relativeTo, std::vector<CrateEntry>& into,
                         std::vector<std::filesystem::path>& scrates,
                         const std::vector<std::string>& skippedFolders) {
    const auto names = platform::listDirectory(folder, platform::HiddenEntries::include);
    if (!names) return;

    std::vector<std::filesystem::path> files;
    for (const auto& name : *names) {
        // macOS leaves "._" companions and ".DS_Store" beside files; a crate or track whose
        // name merely starts with a dot is kept.
        if (name.starts_with("._") || name == ".DS_Store") continue;
        const std::filesystem::path child = folder / platform::toPath(name);
        if (platform::isRealDirectory(child)) {
            const bool skipped = folder == relativeTo &&
                                 std::find(skippedFolders.begin(), skippedFolders.end(), name) !=
                                     skippedFolders.end();
            if (!skipped) scan(child, relativeTo, into, scrates, skippedFolders);
            continue;
        }
        const std::string ext = lowercaseExtension(child);
        if (ext == SeratoFolder::smartCrateExtension) {
            scrates.push_back(child);
        } else if (audioExtensions().contains(ext)) {
            files.push_back(child);
        }
    }
    if (files.empty()) return;

    // Positional cut of the resolved paths: the components below the backup folder.
    const auto rootParts = resolvedComponents(relativeTo);
    const auto folderParts = resolvedComponents(folder);
    if (rootParts.size() >= folderParts.size()) return;  // the backup folder itself
    std::vector<std::string> components(
        folderParts.begin() + static_cast<std::ptrdiff_t>(rootParts.size()), folderParts.end());

    // Code-point order of the names, canonically equivalent spellings equal.
    std::vector<std::pair<std::string, std::filesystem::path>> keyed;
    for (auto& file : files)
        keyed.emplace_back(text::nfcKey(platform::toUtf8(file.filename())), std::move(file));
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    CrateEntry entry{std::move(components), {}};
    for (auto& [key, file] : keyed)
        entry.files.push_back(std::move(file));
    into.push_back(std::move(entry));
}

std::vector<std::string> RestoreEngine::adoptCatalogFiles(
    const BackupCatalog& catalog, const std::filesystem::path& root,
    const std::vector<std::string>& skippedFolders, std::vector<CrateEntry>& entries) {
    std::unordered_set<std::string> scanned;
    std::unordered_map<std::string, std::size_t> entryOfFolder;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string folder = BackupLayout::joinComponents(entries[i].components);
        entryOfFolder.emplace(text::nfcKey(folder), i);
        for (const auto& file : entries[i].files)
            scanned.insert(text::nfcKey(folder + "/" + platform::toUtf8(file.filename())));
    }
    std::vector<std::string> missing;
    for (const auto& track : catalog.tracks) {
        if (!scanned.insert(text::nfcKey(track.file)).second) continue;  // scanned, or seen
        // The catalog is read from the backup: a path that climbs out, or into the metadata
        // or the store, is never looked at.
        std::vector<std::string> components;
        for (const auto& part : platform::toPath(track.file))
            components.push_back(platform::toUtf8(part));
        if (components.size() < 2 || !BackupLayout::isSafeFolderPath(components) ||
            std::find(skippedFolders.begin(), skippedFolders.end(), components.front()) !=
                skippedFolders.end()) {
            missing.push_back(track.file);
            continue;
        }
        const std::filesystem::path file = root / platform::toPath(track.file);
        if (!platform::isRegularFile(file)) {
            missing.push_back(track.file);
            continue;
        }
        const std::string fileName = components.back();
        components.pop_back();
        const auto [found, fresh] = entryOfFolder.try_emplace(
            text::nfcKey(BackupLayout::joinComponents(components)), entries.size());
        if (fresh) entries.push_back({components, {}});
        auto& files = entries[found->second].files;
        const std::string key = text::nfcKey(fileName);
        const auto at = std::find_if(files.begin(), files.end(), [&](const auto& other) {
            return text::nfcKey(platform::toUtf8(other.filename())) > key;
        });
        files.insert(at, file);
    }
    return missing;
}

void RestoreEngine::keepCratesOfLastRun(Run& run, std::vector<CrateEntry>& entries,
                                        std::vector<std::filesystem::path>& scrates) {
    if (!run.catalog || !run.catalog->crates) return;  // an earlier version's: every folder
    // The backup's folders, and the crates they hold by the crates' own names.
    std::unordered_set<std::string> crates;
    std::unordered_set<std::string> ownNames;
    for (const auto& folder : *run.catalog->crates) {
        crates.insert(text::nfcKey(folder));
        ownNames.insert(text::nfcKey(run.catalog->originalPath(folder)));
    }
    const auto isCrate = [&](const std::string& folder) {
        return crates.contains(text::nfcKey(folder));
    };

    std::vector<CrateEntry> kept;
    for (auto& entry : entries)
        (isCrate(BackupLayout::joinComponents(entry.components)) ? kept : run.notInLastRun)
            .push_back(std::move(entry));
    entries = std::move(kept);
    // A file an earlier run left in a folder of its own is not missing from this backup.
    std::erase_if(run.missingFromBackup,
                  [&](const std::string& file) { return !isCrate(BackupLayout::folderOf(file)); });
    // The saved crate would otherwise come back as an empty crate under its old name.
    std::erase_if(run.savedCrates,
                  [&](const auto& saved) { return !ownNames.contains(saved.first); });
    std::erase_if(scrates, [&](const std::filesystem::path& file) {
        auto components = SeratoLibrary::nameComponents(platform::toUtf8(file.stem()));
        components.insert(components.begin(), std::string(SeratoLibrary::smartCratesGroup));
        return !ownNames.contains(text::nfcKey(BackupLayout::joinComponents(components)));
    });
}

}  // namespace morrowdeck
