#include "engine/backup_catalog.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_set>

#include "engine/backup_layout.h"
#include "engine/metadata_file.h"
#include "engine/safe_name.h"
#include "library/bounded_json.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isWellFormedUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high) return false;
        for (int i = 2; i < length; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        p += length;
    }
    return true;
}

// Appends `text` as a JSON string, written exactly as nlohmann::json's dump writes it without
// ASCII escaping. Text that is not well-formed UTF-8 goes through nlohmann::json itself, so
// its replacement characters are the library's too.
void appendJsonString(std::string& out, const std::string& text) {
    if (!isWellFormedUtf8(text)) {
        out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
    }
    out += '"';
    std::size_t run = 0;  // start of the bytes not yet appended
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch >= 0x20 && ch != '"' && ch != '\\') continue;
        out.append(text, run, i - run);
        run = i + 1;
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(ch));
                out += escaped;
            }
        }
    }
    out.append(text, run, text.size() - run);
    out += '"';
}

}  // namespace

// The member's fields by their JSON key, in the order they are written.
template <typename MemberType>
auto memberFields(MemberType& member) {
    return std::array{std::pair{"name", &member.name},
                      std::pair{"library", &member.library},
                      std::pair{"volumePrefix", &member.volumePrefix},
                      std::pair{"label", &member.label},
                      std::pair{"uuid", &member.uuid},
                      std::pair{"fileSystem", &member.fileSystem},
                      std::pair{"mountPoint", &member.mountPoint},
                      std::pair{"lastBackedUp", &member.lastBackedUp}};
}

// Written by hand rather than through a JSON document: a catalog holds one entry per crate
// entry, and building tens of thousands of small objects only to print them dominated the
// metadata step of a re-run. The bytes are those of nlohmann::json's dump with a tab indent.
std::vector<std::uint8_t> BackupCatalog::encode() const {
    std::size_t size = 64;
    for (const auto& track : tracks)
        size += track.file.size() + track.source.size() + 40;
    std::string text;
    text.reserve(size);
    text += "{\n\t\"version\": 1";
    if (notInCrateFolder) {
        text += ",\n\t\"notInCrateFolder\": ";
        appendJsonString(text, *notInCrateFolder);
    }
    if (!storeFolder.empty()) {
        text += ",\n\t\"storeFolder\": ";
        appendJsonString(text, storeFolder);
    }
    if (!names.empty()) {
        text += ",\n\t\"names\": {";
        bool first = true;
        for (const auto& [stored, name] : names) {
            text += first ? "\n\t\t" : ",\n\t\t";
            first = false;
            appendJsonString(text, stored);
            text += ": ";
            appendJsonString(text, name);
        }
        text += "\n\t}";
    }
    if (!members.empty()) {
        text += ",\n\t\"members\": [";
        for (std::size_t i = 0; i < members.size(); ++i) {
            text += i == 0 ? "\n\t\t{" : ",\n\t\t{";
            const Member& member = members[i];
            bool first = true;
            for (const auto& [key, value] : memberFields(member)) {
                text += first ? "\n\t\t\t\"" : ",\n\t\t\t\"";
                first = false;
                text += key;
                text += "\": ";
                appendJsonString(text, *value);
            }
            text += "\n\t\t}";
        }
        text += "\n\t]";
    }
    if (crates) {
        text += ",\n\t\"crates\": [";
        for (std::size_t i = 0; i < crates->size(); ++i) {
            text += i == 0 ? "\n\t\t" : ",\n\t\t";
            appendJsonString(text, (*crates)[i]);
        }
        text += crates->empty() ? "]" : "\n\t]";
    }
    text += ",\n\t\"tracks\": [";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        text += i == 0 ? "\n\t\t{\n\t\t\t\"file\": " : ",\n\t\t{\n\t\t\t\"file\": ";
        appendJsonString(text, tracks[i].file);
        text += ",\n\t\t\t\"source\": ";
        appendJsonString(text, tracks[i].source);
        // The first member's tracks say nothing more, so a one-library catalog stays as it was.
        if (tracks[i].member != 0) text += ",\n\t\t\t\"member\": " + std::to_string(tracks[i].member);
        text += "\n\t\t}";
    }
    text += tracks.empty() ? "]\n}" : "\n\t]\n}";
    return {text.begin(), text.end()};
}

std::optional<BackupCatalog> BackupCatalog::decode(std::span<const std::uint8_t> bytes) {
    const auto document = parseBoundedJson(bytes);
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
        std::size_t member = 0;
        if (const auto index = track.find("member");
            index != track.end() && index->is_number_unsigned())
            member = index->get<std::size_t>();
        catalog.tracks.push_back({file->get<std::string>(), source->get<std::string>(), member});
    }
    if (const auto members = document.find("members");
        members != document.end() && members->is_array()) {
        for (const auto& entry : *members) {
            if (!entry.is_object()) continue;
            Member& member = catalog.members.emplace_back();
            for (auto& [key, value] : memberFields(member))
                if (const auto field = entry.find(key); field != entry.end() && field->is_string())
                    *value = field->get<std::string>();
        }
    }
    // A track of a member the catalog does not list cannot be placed: it is dropped.
    const std::size_t known = std::max<std::size_t>(catalog.members.size(), 1);
    std::erase_if(catalog.tracks, [known](const Track& track) { return track.member >= known; });
    if (const auto crates = document.find("crates");
        crates != document.end() && crates->is_array()) {
        catalog.crates.emplace();
        for (const auto& folder : *crates)
            if (folder.is_string()) catalog.crates->push_back(folder.get<std::string>());
    }
    if (const auto folder = document.find("notInCrateFolder");
        folder != document.end() && folder->is_string())
        catalog.notInCrateFolder = folder->get<std::string>();
    if (const auto names = document.find("names");
        names != document.end() && names->is_object()) {
        for (const auto& [stored, name] : names->items())
            if (name.is_string()) catalog.names.emplace(stored, name.get<std::string>());
    }
    if (const auto store = document.find("storeFolder");
        store != document.end() && store->is_string())
        catalog.storeFolder = store->get<std::string>();
    return catalog;
}

std::vector<BackupCatalog::Member> BackupCatalog::missingMembers(
    const BackupCatalog& earlier) const {
    std::vector<Member> missing;
    for (const auto& member : earlier.members)
        if (std::none_of(members.begin(), members.end(),
                         [&](const Member& m) { return m.name == member.name; }))
            missing.push_back(member);
    return missing;
}

void BackupCatalog::keepOthersFrom(const BackupCatalog& earlier,
                                   const std::function<bool(const std::string&)>& stillACrate) {
    // Each earlier member's index here: its own where this run has it, else a new one.
    std::vector<std::size_t> memberIndex;
    std::vector<bool> absent;
    for (const auto& member : earlier.members) {
        const auto found = std::find_if(members.begin(), members.end(),
                                        [&](const Member& m) { return m.name == member.name; });
        absent.push_back(found == members.end());
        memberIndex.push_back(static_cast<std::size_t>(found - members.begin()));
        if (found == members.end()) members.push_back(member);
    }
    const auto isAbsent = [&](const Track& track) {
        return track.member < absent.size() && absent[track.member];
    };
    const auto carried = [&](Track track) {
        if (track.member < memberIndex.size()) track.member = memberIndex[track.member];
        return track;
    };

    std::unordered_set<std::string> held;
    if (crates) held.insert(crates->begin(), crates->end());
    for (const auto& track : tracks)
        held.insert(BackupLayout::folderOf(track.file));
    // A catalog from an earlier version names its crates only through their tracks.
    std::vector<std::string> earlierCrates;
    if (earlier.crates) {
        earlierCrates = *earlier.crates;
    } else {
        std::unordered_set<std::string> seen;
        for (const auto& track : earlier.tracks)
            if (auto folder = BackupLayout::folderOf(track.file); seen.insert(folder).second)
                earlierCrates.push_back(std::move(folder));
    }
    // The folders that hold a track of a member this run did not reach stay crates.
    std::unordered_set<std::string> ofAbsent, absentFiles;
    for (const auto& track : earlier.tracks)
        if (isAbsent(track)) {
            ofAbsent.insert(BackupLayout::folderOf(track.file));
            absentFiles.insert(track.file);
        }
    std::unordered_set<std::string> kept;
    for (const auto& folder : earlierCrates) {
        if (held.contains(folder) || kept.contains(folder)) continue;
        if (folder != earlier.notInCrateFolder && !ofAbsent.contains(folder) &&
            !stillACrate(earlier.originalPath(folder)))
            continue;
        kept.insert(folder);
        if (crates) crates->push_back(folder);
    }
    for (const auto& track : earlier.tracks)
        if (isAbsent(track) || kept.contains(BackupLayout::folderOf(track.file)))
            tracks.push_back(carried(track));
    // A stored name is kept with the folders it names or lies in.
    for (const auto& entry : earlier.names) {
        const std::string& stored = entry.first;
        if (names.contains(stored)) continue;
        const bool namesKept =
            std::any_of(kept.begin(), kept.end(), [&](const std::string& folder) {
                return folder == stored || folder.starts_with(stored + "/") ||
                       stored.starts_with(folder + "/");
            });
        if (namesKept || absentFiles.contains(stored)) names.emplace(stored, entry.second);
    }
    if (!notInCrateFolder) notInCrateFolder = earlier.notInCrateFolder;
    if (storeFolder.empty()) storeFolder = earlier.storeFolder;
}

std::optional<BackupCatalog> BackupCatalog::read(const std::filesystem::path& backupRoot,
                                                 std::string* warning) {
    std::string why;
    const auto bytes = readMetadataFile(
        backupRoot / BackupLayout::metadataFolder / BackupLayout::catalogFileName, why);
    if (warning) *warning = why;
    return bytes ? decode(*bytes) : std::nullopt;
}

std::filesystem::path BackupCatalog::libraryFolder(const std::filesystem::path& metadata,
                                                  std::size_t member) const {
    if (member == 0 || member >= members.size()) return metadata;
    std::string name = SafeName::encode(members[member].name);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        name = "Library " + std::to_string(member + 1);
    return metadata / BackupLayout::librariesFolder / platform::toPath(name);
}

std::string BackupCatalog::originalPath(const std::string& stored) const {
    if (names.empty()) return stored;
    std::string original;
    for (std::size_t start = 0; start <= stored.size();) {
        const std::size_t end = std::min(stored.find('/', start), stored.size());
        const auto name = names.find(stored.substr(0, end));
        if (!original.empty() || start > 0) original += '/';
        original += name != names.end() ? name->second : stored.substr(start, end - start);
        start = end + 1;
    }
    return original;
}

}  // namespace morrowdeck
