// RestoreEngine: a restore of chosen crates only, with the crates below them.
#include <algorithm>

#include "engine/backup_layout.h"
#include "engine/serato_error.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"

namespace morrowdeck {

namespace {

// A crate path's components in canonical form.
std::vector<std::string> canonical(const std::vector<std::string>& components) {
    std::vector<std::string> keys;
    keys.reserve(components.size());
    for (const auto& component : components)
        keys.push_back(text::nfcKey(component));
    return keys;
}

}  // namespace

void RestoreEngine::keepChosenCrates(Run& run, std::vector<CrateEntry>& entries,
                                     std::vector<std::filesystem::path>& scrates) const {
    std::vector<std::vector<std::string>> chosen;
    for (const auto& path : crates_)
        chosen.push_back(canonical(BackupLayout::splitComponents(path)));
    std::vector<bool> matched(chosen.size(), false);
    // Whether a crate is chosen: a chosen path is the crate's or one of its parents'.
    const auto isChosen = [&](const std::vector<std::string>& components) {
        const auto crate = canonical(components);
        bool any = false;
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            if (chosen[i].size() <= crate.size() &&
                std::equal(chosen[i].begin(), chosen[i].end(), crate.begin())) {
                matched[i] = true;
                any = true;
            }
        }
        return any;
    };
    // The folder of the tracks in no crate is no crate: a choice of crates leaves it out.
    const auto folderIsChosen = [&](const std::string& relFolder) {
        if (run.catalog && run.catalog->notInCrateFolder == relFolder) return false;
        return isChosen(crateComponents(run, relFolder));
    };
    const auto smartCratePath = [](const std::filesystem::path& file) {
        auto components = SeratoLibrary::nameComponents(platform::toUtf8(file.stem()));
        components.insert(components.begin(), std::string(SeratoLibrary::smartCratesGroup));
        return components;
    };

    std::erase_if(entries, [&](const CrateEntry& entry) {
        return !folderIsChosen(BackupLayout::joinComponents(entry.components));
    });
    std::erase_if(scrates, [&](const std::filesystem::path& file) {
        return !isChosen(smartCratePath(file));
    });
    std::erase_if(run.savedCrates,
                  [&](const auto& saved) { return !isChosen(saved.second.components); });
    for (std::size_t i = 0; i < chosen.size(); ++i)
        if (!matched[i]) throw SeratoError::crateNotInBackup(crates_[i]);

    std::erase_if(run.missingFromBackup, [&](const std::string& file) {
        return !folderIsChosen(BackupLayout::folderOf(file));
    });
    std::erase_if(run.notInLastRun, [&](const CrateEntry& entry) {
        return !folderIsChosen(BackupLayout::joinComponents(entry.components));
    });
}

}  // namespace morrowdeck
