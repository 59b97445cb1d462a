#include "restore/target_names.h"

#include <algorithm>
#include <cerrno>

#include "library/unicode_text.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

std::string joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

}  // namespace

TargetNames::TargetNames(const std::map<std::string, std::string>& originals,
                         std::filesystem::path target, Accepts accepts)
    : originals_(originals), target_(std::move(target)), accepts_(std::move(accepts)) {}

void TargetNames::add(const std::string& relPath) {
    if (originals_.empty()) return;  // every name stays
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relPath.find('/', start);
        const std::string folder = start == 0 ? std::string() : relPath.substr(0, start - 1);
        const std::string stored = relPath.substr(start, end - start);
        inBackup_[folder].insert(text::foldedKey(stored));
        if (const auto original = originals_.find(relPath.substr(0, end));
            original != originals_.end()) {
            const auto [first, fresh] =
                firstOf_.try_emplace(folder + '\0' + text::foldedKey(original->second), stored);
            if (!fresh && stored < first->second) first->second = stored;
        }
        if (end == std::string::npos) return;
        start = end + 1;
    }
}

const std::string& TargetNames::path(const std::string& relPath) {
    if (const auto known = chosen_.find(relPath); known != chosen_.end()) return known->second;
    const std::size_t slash = relPath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : relPath.substr(0, slash);
    const std::string stored = relPath.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string parent = folder.empty() ? std::string() : path(folder);

    std::string name = stored;
    if (const auto original = originals_.find(relPath); original != originals_.end()) {
        const std::string key = text::foldedKey(original->second);
        const auto& neighbours = inBackup_[folder];
        auto& given = givenBack_[parent];
        // Of names taken for one, only the first in code-point order of the stored names may
        // come back, whatever order the backup's folders are listed in.
        if (!neighbours.contains(key) && !given.contains(key) &&
            firstOf_[folder + '\0' + key] == stored &&
            accepts_(target_ / platform::toPath(parent), original->second, stored)) {
            name = original->second;
            given.insert(key);
        } else {
            keptStored_.emplace(joined(parent, name), original->second);
        }
    }
    return chosen_.emplace(relPath, joined(parent, name)).first->second;
}

bool TargetNames::fileSystemAccepts(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path trial = folder / platform::toPath(name);
    bool made = false;
    if (!platform::itemExists(trial)) {
        if (const int error = platform::createDirectories(trial); error != 0)
            return error != EINVAL && error != ENOENT && error != EILSEQ && error != ENAMETOOLONG;
        made = true;
    }
    const auto names = platform::listDirectory(folder, platform::HiddenEntries::include);
    const std::string key = text::nfcKey(name);
    const bool listed = !names || std::any_of(names->begin(), names->end(), [&](const auto& entry) {
        return text::nfcKey(entry) == key;
    });
    if (made) platform::removeEmptyFolder(trial);
    return listed;
}

}  // namespace morrowdeck
