#include "backup/crate_file_names.h"

#include <unordered_map>
#include <unordered_set>

#include "engine/backup_layout.h"
#include "library/unicode_text.h"

namespace morrowdeck {

CrateFileNames::CrateFileNames(const Crate& crate, std::deque<std::string>& storage) {
    const auto ownName = [](const std::string& track) {
        return std::string_view(track).substr(track.rfind('/') + 1);
    };
    std::unordered_set<std::string> reserved;  // every track's own name, folded
    for (const auto& track : crate.tracks)
        reserved.insert(text::foldedKey(ownName(track)));

    std::unordered_map<std::string, std::size_t> trackNamed;  // canonical path -> first index
    std::unordered_set<std::string> taken;                    // folded names given out
    names_.reserve(crate.tracks.size());
    for (std::size_t index = 0; index < crate.tracks.size(); ++index) {
        const std::string& track = crate.tracks[index];
        const auto [first, isNew] = trackNamed.try_emplace(text::nfcKey(track), index);
        if (!isNew) {
            names_.emplace_back(names_[first->second].first, true);
            continue;
        }
        std::string_view name = ownName(track);
        if (!taken.insert(text::foldedKey(name)).second) {
            for (int n = 2;; ++n) {
                std::string numbered = BackupLayout::numberedName(name, n);
                const std::string key = text::foldedKey(numbered);
                if (reserved.contains(key) || !taken.insert(key).second) continue;
                name = storage.emplace_back(std::move(numbered));
                break;
            }
        }
        names_.emplace_back(name, false);
    }
}

}  // namespace morrowdeck
