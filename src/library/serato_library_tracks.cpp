#include "library/serato_library_tracks.h"

#include <unordered_set>

#include "library/bounded_read.h"
#include "library/crate_parser.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/uuid.h"

namespace morrowdeck::SeratoLibrary {

namespace {

void collectCrateTracks(const std::vector<Crate::Ptr>& crates,
                        std::unordered_set<std::string>& keys) {
    for (const auto& crate : crates) {
        if (!crate->isSmart && !crate->isNotInCrate)
            for (const auto& track : crate->tracks)
                keys.insert(text::nfcKey(track));
        collectCrateTracks(crate->children, keys);
    }
}

template <typename Visit>
void eachSmartCrateTrack(const std::vector<Crate::Ptr>& crates, Visit&& visit) {
    for (const auto& crate : crates) {
        if (crate->isSmart)
            for (const auto& track : crate->tracks)
                visit(track);
        eachSmartCrateTrack(crate->children, visit);
    }
}

}  // namespace

std::vector<std::string> tracksNotInCrates(const std::filesystem::path& libraryFolder,
                                           const std::vector<Crate::Ptr>& forest,
                                           std::vector<std::string>* warnings) {
    std::unordered_set<std::string> listed;  // canonical forms of crate tracks, then of results
    collectCrateTracks(forest, listed);

    const std::string prefix = volumeMountPrefix(libraryFolder);
    std::vector<std::string> tracks;
    const auto file = libraryFolder / SeratoFolder::databaseFile;
    std::string reason;
    if (const auto database = readBoundedFile(file, maxMetadataBytes, reason)) {
        for (const auto& record : SeratoDatabase::records(*database)) {
            std::string path = CrateParser::absolutePath(record.path, prefix);
            if (listed.insert(text::nfcKey(path)).second) tracks.push_back(std::move(path));
        }
    }
    if (!reason.empty() && warnings != nullptr)
        warnings->push_back("Couldn't read Serato's track database " + platform::toUtf8(file) +
                            " (" + reason + "); only the tracks of crates are listed.");
    // A smart crate's saved track list may name files the database no longer lists.
    eachSmartCrateTrack(forest, [&](const std::string& track) {
        if (listed.insert(text::nfcKey(track)).second) tracks.push_back(track);
    });
    return tracks;
}

std::vector<Crate::Ptr> withNotInCrate(std::vector<Crate::Ptr> forest,
                                       const std::filesystem::path& libraryFolder,
                                       std::vector<std::string>* warnings) {
    auto tracks = tracksNotInCrates(libraryFolder, forest, warnings);
    if (tracks.empty()) return forest;
    std::unordered_set<std::string> taken;
    for (const auto& crate : forest)
        taken.insert(text::nfcKey(crate->name));
    std::string name(notInCrateName);
    for (int n = 2; taken.contains(text::nfcKey(name)); ++n)
        name = std::string(notInCrateName) + " (" + std::to_string(n) + ")";

    auto crate = std::make_shared<Crate>();
    crate->id = Uuid::random();
    crate->name = name;
    crate->components = {std::move(name)};
    crate->isNotInCrate = true;
    crate->tracks = std::move(tracks);
    forest.push_back(std::move(crate));
    return forest;
}

std::optional<std::filesystem::path> resolveTrackFile(const std::filesystem::path& path) {
    if (platform::fileExists(path)) return path;
    const std::string utf8 = platform::toUtf8(path);
    for (const std::string& form : {text::nfcKey(utf8), text::nfdForm(utf8)}) {
        if (form == utf8) continue;
        std::filesystem::path other = platform::toPath(form);
        if (platform::fileExists(other)) return other;
    }
    return std::nullopt;
}

}  // namespace morrowdeck::SeratoLibrary
