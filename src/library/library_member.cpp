#include "library/library_member.h"

#include <algorithm>
#include <optional>

#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "platform/volumes.h"

namespace morrowdeck::LibraryMembers {

namespace fs = std::filesystem;

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

bool sameName(const std::string& a, const std::string& b) {
    return lowerAscii(a) == lowerAscii(b);
}

namespace {

// What tells two volumes apart: the UUID, else where it is mounted.
std::string volumeKey(const LibraryMember& member) {
    return !member.uuid.empty() ? member.uuid : "mount:" + member.mountPoint;
}

bool uniqueLabel(const std::vector<LibraryMember>& members, const LibraryMember& member) {
    return std::all_of(members.begin(), members.end(), [&](const LibraryMember& other) {
        return !sameName(other.label, member.label) || volumeKey(other) == volumeKey(member);
    });
}

std::string baseName(const std::vector<LibraryMember>& members, const LibraryMember& member,
                     bool isHome) {
    if (isHome) return homeName;
    if (!member.label.empty() && !sameName(member.label, homeName) &&
        uniqueLabel(members, member))
        return member.label;
    if (!member.uuid.empty()) return member.uuid;
    if (!member.volumePrefix.empty()) {
        const std::string last = platform::toUtf8(platform::toPath(member.volumePrefix).filename());
        if (!last.empty()) return last;
    }
    const std::string holder = platform::toUtf8(member.library.parent_path().filename());
    return !holder.empty() ? holder : "library";
}

fs::path comparable(const fs::path& path) {
    const fs::path normal = path.lexically_normal();
    const std::optional<fs::path> resolved = platform::resolvedPath(normal);
    return resolved ? *resolved : normal;
}

}  // namespace

void nameMembers(std::vector<LibraryMember>& members, const fs::path& homeLibrary) {
    const fs::path home = homeLibrary.lexically_normal();
    std::vector<std::string> bases;
    std::vector<bool> homes;
    for (const auto& member : members) {
        homes.push_back(member.library.lexically_normal() == home);
        bases.push_back(baseName(members, member, homes.back()));
    }
    std::vector<std::string> given;
    // A name is free when no earlier member has it, only the home library is "home", and a
    // numbered name is no other member's own name.
    const auto isFree = [&](const std::string& name, bool isHome, bool numbered) {
        const auto same = [&](const std::string& other) { return sameName(other, name); };
        return (isHome || !sameName(name, homeName)) &&
               std::none_of(given.begin(), given.end(), same) &&
               (!numbered || std::none_of(bases.begin(), bases.end(), same));
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
        std::string name = bases[i];
        for (int n = 2; !isFree(name, homes[i], n > 2); ++n)
            name = bases[i] + ' ' + std::to_string(n);
        members[i].name = name;
        given.push_back(std::move(name));
    }
}

std::vector<LibraryMember> describe(const std::vector<fs::path>& libraries,
                                    const fs::path& homeLibrary) {
    const fs::path home = comparable(homeLibrary);
    fs::path homeAsGiven = homeLibrary;
    std::vector<fs::path> seen;
    std::vector<LibraryMember> members;
    for (const auto& library : libraries) {
        const fs::path key = comparable(library);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        if (key == home) homeAsGiven = library;
        const platform::Volume volume = platform::volumeOf(library);
        LibraryMember member;
        member.library = library;
        member.volumePrefix = volume.mountPoint;
        member.label = volume.label;
        member.uuid = volume.uuid;
        member.fileSystem = volume.fileSystem;
        member.mountPoint = member.volumePrefix.empty() ? "/" : member.volumePrefix;
        members.push_back(std::move(member));
    }
    nameMembers(members, homeAsGiven);
    return members;
}

}  // namespace morrowdeck::LibraryMembers
