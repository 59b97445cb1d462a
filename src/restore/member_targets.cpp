#include "restore/member_targets.h"

#include <algorithm>
#include <unordered_set>

#include "library/library_member.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "engine/backup_layout.h"
#include "platform/path_text.h"

namespace morrowdeck::MemberTargets {

namespace {

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// The mount point of the one mount whose volume `matches` says is the member's; "" when none
// or more than one is (two drives labelled alike are not guessed between).
std::string onlyMount(const std::vector<platform::Mount>& mounts,
                      const std::function<bool(const platform::Mount&)>& matches) {
    std::string found;
    for (const auto& mount : mounts) {
        if (!matches(mount) || mount.mountPoint == found) continue;
        if (!found.empty()) return {};
        found = mount.mountPoint;
    }
    return found;
}

}  // namespace

std::pair<std::size_t, std::string> placeOf(const BackupCatalog& catalog,
                                            const BackupCatalog::Track& track) {
    std::string path = BackupLayout::pfilKey(track.source);
    constexpr std::string_view volumes = "Volumes/";
    if (!path.starts_with(volumes)) return {track.member, std::move(path)};
    const std::size_t slash = path.find('/', volumes.size());
    if (slash == std::string::npos) return {track.member, std::move(path)};
    const std::string volume = text::nfcKey(path.substr(volumes.size(), slash - volumes.size()));
    for (std::size_t i = 0; i < catalog.members.size(); ++i) {
        const auto& member = catalog.members[i];
        if (i == track.member) continue;
        if (sameIgnoringAsciiCase(text::nfcKey(member.label), volume) ||
            sameIgnoringAsciiCase(text::nfcKey(member.name), volume))
            return {i, path.substr(slash + 1)};
    }
    return {track.member, std::move(path)};
}

std::vector<BackupCatalog::Member> membersOf(const BackupCatalog& catalog) {
    if (!catalog.members.empty()) return catalog.members;
    BackupCatalog::Member home;
    home.name = LibraryMembers::homeName;
    return {home};
}

std::vector<MemberTarget> resolve(const BackupCatalog& catalog,
                                  const std::map<std::string, std::filesystem::path>& maps,
                                  const std::vector<platform::Mount>& mounts,
                                  const std::filesystem::path& homeLibrary) {
    const auto members = membersOf(catalog);
    std::vector<MemberTarget> targets;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& member = members[i];
        MemberTarget& target = targets.emplace_back();
        target.member = i;
        target.name = member.name;
        // The files it gets back: a track in several crates is one file.
        std::unordered_set<std::string> places;
        for (const auto& track : catalog.tracks)
            if (auto [library, path] = placeOf(catalog, track); library == i)
                places.insert(text::nfcKey(path));
        target.files = places.size();
        std::string root;
        if (const auto mapped = maps.find(member.name); mapped != maps.end()) {
            target.found = MemberTarget::Found::mapped;
            root = platform::toUtf8(mapped->second);
        } else if (member.name == LibraryMembers::homeName) {
            // The tracks' paths are relative to the volume holding the home library.
            target.found = MemberTarget::Found::home;
            target.root = SeratoLibrary::volumeMountPrefix(homeLibrary).empty()
                              ? homeLibrary.root_path()
                              : platform::toPath(SeratoLibrary::volumeMountPrefix(homeLibrary));
            target.serato = homeLibrary;
            continue;
        } else if (!member.uuid.empty()) {
            root = onlyMount(mounts, [&](const platform::Mount& mount) {
                return platform::volumeUuid(mount.source) == member.uuid;
            });
            if (!root.empty()) target.found = MemberTarget::Found::uuid;
        }
        if (root.empty() && !member.label.empty()) {
            root = onlyMount(mounts, [&](const platform::Mount& mount) {
                return sameIgnoringAsciiCase(platform::volumeLabel(mount.source), member.label);
            });
            if (!root.empty()) target.found = MemberTarget::Found::label;
        }
        if (root.empty()) continue;
        target.root = platform::toPath(root);
        target.serato = target.root / SeratoFolder::name;
    }
    return targets;
}

std::optional<std::pair<std::string, std::string>> parseMapping(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        return std::nullopt;
    return std::pair{text.substr(0, equals), text.substr(equals + 1)};
}

const char* foundText(MemberTarget::Found found) {
    switch (found) {
        case MemberTarget::Found::home:
            return "home library";
        case MemberTarget::Found::uuid:
            return "drive with its UUID";
        case MemberTarget::Found::label:
            return "drive with its label";
        case MemberTarget::Found::mapped:
            return "mapped";
        case MemberTarget::Found::none:
            break;
    }
    return "not connected";
}

}  // namespace morrowdeck::MemberTargets
