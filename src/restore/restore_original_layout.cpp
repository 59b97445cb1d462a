// RestoreEngine: a library restored as it was, each track back at its own path below the
// library's target.
#include <algorithm>
#include <unordered_map>

#include "engine/backup_layout.h"
#include "library/unicode_text.h"
#include "platform/path_text.h"
#include "restore/member_targets.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"

namespace morrowdeck {

void RestoreEngine::keepFilesOfPlace(Run& run, std::vector<CrateEntry>& entries) {
    std::unordered_map<std::string, const BackupCatalog::Track*> trackOfFile;
    for (const auto& track : run.catalog->tracks)
        trackOfFile.try_emplace(text::nfcKey(track.file), &track);
    const auto trackOf = [&](const std::string& relPath) -> const BackupCatalog::Track* {
        const auto found = trackOfFile.find(text::nfcKey(relPath));
        return found == trackOfFile.end() ? nullptr : found->second;
    };
    const std::size_t member = run.place->member;
    for (auto& entry : entries) {
        const std::string folder = BackupLayout::joinComponents(entry.components);
        std::erase_if(entry.files, [&](const std::filesystem::path& file) {
            const std::string relPath = folder + "/" + platform::toUtf8(file.filename());
            const auto* track = trackOf(relPath);
            // A file added to the backup by hand has no path of its own to go back to; the
            // first library's restore says so once.
            if (!track) {
                if (run.place == &targets_.front()) run.withoutPlace.push_back(relPath);
                return true;
            }
            const auto [library, path] = MemberTargets::placeOf(*run.catalog, *track);
            if (library != member) return true;
            // The path is read from the backup: one that would climb out of the target, or is
            // no path at all, is never written to.
            const auto components = BackupLayout::splitComponents(path);
            if (path.empty() || !BackupLayout::isSafeFolderPath(components)) {
                run.unsafePaths.push_back(relPath);
                return true;
            }
            run.originalPathOfFile.emplace(relPath, path);
            return false;
        });
    }
    std::erase_if(entries, [](const CrateEntry& entry) { return entry.files.empty(); });
    std::erase_if(run.missingFromBackup, [&](const std::string& file) {
        const auto* track = trackOf(file);
        return track ? MemberTargets::placeOf(*run.catalog, *track).first != member : member != 0;
    });
}

std::filesystem::path RestoreEngine::placeFolder(const Run& run) {
    // The longest folder path that every file's folder starts with.
    std::vector<std::string> common;
    bool first = true;
    for (const auto& [relPath, path] : run.originalPathOfFile) {
        auto components = BackupLayout::splitComponents(path);
        components.pop_back();
        if (first) {
            common = std::move(components);
            first = false;
            continue;
        }
        const auto end = std::mismatch(common.begin(), common.end(), components.begin(),
                                       components.end());
        common.erase(end.first, common.end());
    }
    std::filesystem::path folder = run.place->root;
    for (const auto& component : common)
        folder /= platform::toPath(component);
    return folder;
}

}  // namespace morrowdeck
