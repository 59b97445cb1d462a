// BackupEngine: the metadata kept beside the audio. None of these steps stops a backup: an
// unreadable or damaged input is named in a warning and gives what could be read. A file that
// cannot be written is a failed file of the run, named in an error line: without it a restore
// loses the crates' order or the tracks' records, so the run is no success.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "backup/backup_engine.h"
#include "backup/backup_plan.h"
#include "engine/backup_catalog.h"
#include "engine/backup_layout.h"
#include "engine/metadata_file.h"
#include "library/crate_writer.h"
#include "library/library_member.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/serato_sql.h"
#include "library/serato_sql_json.h"
#include "library/unicode_text.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

std::string folderOf(const std::string& relPath) {
    return relPath.substr(0, relPath.rfind('/'));
}

// Finds a track's entry in a table keyed by library paths: by the path as the library stores
// it, then by the full path without its leading separator (how earlier versions keyed a
// library on the system drive), then by either spelled in the other normalisation form.
template <typename Table>
auto findTrack(const Table& table, const std::unordered_map<std::string, std::string>& byCanonical,
               const std::string& stored, const std::string& fullPath)
    -> decltype(table.find(stored)) {
    if (auto found = table.find(stored); found != table.end()) return found;
    if (auto found = table.find(BackupLayout::pfilKey(fullPath)); found != table.end())
        return found;
    for (const auto& key : {stored, BackupLayout::pfilKey(fullPath)})
        if (const auto alias = byCanonical.find(text::nfcKey(key)); alias != byCanonical.end())
            return table.find(alias->second);
    return table.end();
}

// The crate's tracks of one library as that library stores them, in its order: what its
// saved file lists. `memberOf` tells each track's library.
std::vector<std::string> storedPaths(const Crate& crate, const std::vector<std::string>& prefixes,
                                     std::size_t member,
                                     const std::function<std::size_t(std::size_t)>& memberOf) {
    std::vector<std::string> paths;
    paths.reserve(crate.tracks.size());
    const std::string prefix = member < prefixes.size() ? prefixes[member] : std::string();
    for (std::size_t i = 0; i < crate.tracks.size(); ++i)
        if (memberOf(i) == member)
            paths.push_back(CrateWriter::volumeRelativeText(crate.tracks[i], prefix));
    return paths;
}

// The library that holds a crate file: the first whose folder holds it.
std::size_t memberOfFile(const std::filesystem::path& file,
                         const std::vector<std::filesystem::path>& libraries) {
    for (std::size_t i = 0; i < libraries.size(); ++i) {
        const auto folder = platform::toUtf8(libraries[i]);
        if (platform::toUtf8(file).starts_with(folder + "/")) return i;
    }
    return 0;
}

template <typename Table>
std::unordered_map<std::string, std::string> canonicalKeys(const Table& table) {
    std::unordered_map<std::string, std::string> keys;
    for (const auto& [key, value] : table)
        keys.try_emplace(text::nfcKey(key), key);
    return keys;
}

// Adds the crate folders of one library's crate and smart-crate files; false when its crate
// folder cannot be listed.
bool addCrateFolders(const std::filesystem::path& library,
                     std::unordered_set<std::string>& folders) {
    const auto crateNames = platform::listDirectory(library / SeratoFolder::crateFolder,
                                                    platform::HiddenEntries::include);
    if (!crateNames) return false;
    const auto add = [&](const std::vector<std::string>& names, std::string_view extension,
                         const std::vector<std::string>& prefix) {
        for (const auto& name : names) {
            const std::size_t dot = name.rfind('.');
            if (dot == std::string::npos || name.starts_with("._")) continue;
            std::string ext = name.substr(dot + 1);
            std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) {
                return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            });
            if (ext != extension) continue;
            auto components = SeratoLibrary::nameComponents(name.substr(0, dot));
            if (components.empty()) continue;
            components.insert(components.begin(), prefix.begin(), prefix.end());
            folders.insert(text::nfcKey(BackupLayout::joinComponents(components)));
        }
    };
    add(*crateNames, SeratoFolder::crateExtension, {});
    if (const auto smartNames = platform::listDirectory(
            library / SeratoFolder::smartCrateFolder, platform::HiddenEntries::include))
        add(*smartNames, SeratoFolder::smartCrateExtension,
            {std::string(SeratoLibrary::smartCratesGroup)});
    return true;
}

// The crate folders of the libraries' crate and smart-crate files and of the database's crates,
// in canonical form. Absent when a library's crate folder cannot be listed or the database
// not read whole: then nothing can be said of a crate that an earlier run backed up.
std::optional<std::unordered_set<std::string>> libraryCrateFolders(
    const std::vector<std::filesystem::path>& libraries, const DatabaseRows& rows) {
    if (libraries.empty()) return std::nullopt;
    auto inDatabase = rows.crateFolders();
    if (!inDatabase) return std::nullopt;
    std::unordered_set<std::string> folders = std::move(*inDatabase);
    for (const auto& library : libraries)
        if (!addCrateFolders(library, folders)) return std::nullopt;
    return folders;
}

// "2026-12-09T21:04:05Z".
std::string utcText(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(when - day)};
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

// The libraries this run backs up, as the catalog records them. Each keeps the name an
// earlier run gave its volume; a name an earlier run gave another volume is not taken again,
// so two drives labelled alike stay two members.
std::vector<BackupCatalog::Member> describeMembers(
    const std::vector<std::filesystem::path>& libraries,
    const std::optional<BackupCatalog>& earlier) {
    const std::string now = utcText(std::chrono::system_clock::now());
    std::vector<BackupCatalog::Member> members;
    for (const auto& library :
         LibraryMembers::describe(libraries, SeratoLibrary::defaultLibraryLocation())) {
        BackupCatalog::Member& member = members.emplace_back(BackupCatalog::Member{
            library.name, platform::toUtf8(library.library), library.volumePrefix, library.label,
            library.uuid, library.fileSystem, library.mountPoint, now});
        if (!earlier) continue;
        const auto sameVolume = [&](const BackupCatalog::Member& other) {
            if (member.name == LibraryMembers::homeName) return other.name == member.name;
            return !member.uuid.empty() ? other.uuid == member.uuid
                                        : other.library == member.library;
        };
        const auto known =
            std::find_if(earlier->members.begin(), earlier->members.end(), sameVolume);
        if (known != earlier->members.end()) {
            member.name = known->name;
        } else if (!member.uuid.empty() &&
                   std::any_of(earlier->members.begin(), earlier->members.end(),
                               [&](const auto& other) { return other.name == member.name; })) {
            member.name = member.uuid;
        }
    }
    return members;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BackupEngine::readMetadata(
    const std::filesystem::path& file, std::uint64_t maxBytes) {
    std::string warning;
    auto bytes = readMetadataFile(file, warning, maxBytes);
    if (!warning.empty()) reporter_.log(LogEntry::Level::warning, warning);
    return bytes;
}

int BackupEngine::writeMetadataFile(const std::filesystem::path& file,
                                    std::span<const std::uint8_t> bytes, platform::Flush flush) {
    // A file that already holds these bytes is left alone: a re-run of an unchanged library
    // then rewrites (and syncs) none of its hundreds of saved crate files.
    if (platform::fileHasContent(file, bytes)) return 0;
    int error = platform::createDirectories(file.parent_path());
    if (error == 0) error = platform::writeFileAtomically(file, bytes, flush);
    if (error != 0) {
        reporter_.countFailedWrite(platform::toUtf8(file), error);
    }
    return error;
}

void BackupEngine::captureLibrarySnapshot(const std::filesystem::path& root,
                                          const std::vector<std::filesystem::path>& libraries,
                                          const Plan& work) {
    std::vector<SeratoDatabase::SnapshotPair> pairs;
    std::unordered_set<std::string> folders;
    for (const auto& entry : work.entries)
        folders.insert(folderOf(entry.relPath()));
    // Each library's records are its own tracks' (keyed by the path that library stores).
    for (std::size_t member = 0; member < libraries.size(); ++member) {
        const auto databaseURL = libraries[member] / SeratoFolder::databaseFile;
        std::string oversized;
        const auto database = readMetadataFile(databaseURL, oversized);
        if (!database) {
            if (!oversized.empty())
                reporter_.log(LogEntry::Level::warning, oversized);
            else if (platform::fileExists(databaseURL))
                reporter_.log(LogEntry::Level::warning, "Couldn't read Serato's track database " +
                                                            platform::toUtf8(databaseURL) +
                                                            "; no track records were captured.");
            continue;
        }
        ReadReport report;
        std::unordered_map<std::string, SeratoDatabase::Bytes> byPath;
        for (auto& entry : SeratoDatabase::records(*database, &report))
            byPath.try_emplace(std::move(entry.path), std::move(entry.record));
        if (report.damaged())
            reporter_.log(LogEntry::Level::warning,
                          report.warning("Serato's track database", databaseURL, "track record"));
        const auto canonical = canonicalKeys(byPath);
        for (const auto& entry : work.entries) {
            if (entry.member != member) continue;
            const auto found = findTrack(byPath, canonical, work.storedPath(entry),
                                         entry.crate->tracks[entry.track]);
            if (found != byPath.end()) pairs.push_back({entry.relPath(), found->second});
        }
    }
    if (pairs.empty()) return;
    const std::size_t captured = pairs.size();

    // Records an earlier run saved for crates this run does not hold stay in the snapshot.
    const auto file = root / BackupLayout::metadataFolder / BackupLayout::snapshotFileName;
    if (const auto earlier = readMetadata(file)) {
        for (auto& [relPath, record] : SeratoDatabase::parseSnapshot(*earlier))
            if (!folders.contains(folderOf(relPath))) pairs.push_back({relPath, std::move(record)});
    }
    if (writeMetadataFile(file, SeratoDatabase::snapshot(pairs)) != 0) return;
    reporter_.log(LogEntry::Level::info, "Captured " + std::to_string(captured) +
                                             " track record(s) for an exact restore.");
}

DatabaseRows BackupEngine::readDatabaseRows(const Plan& work) {
    std::vector<DatabaseRows::Track> tracks;
    tracks.reserve(work.entries.size());
    for (const auto& entry : work.entries)
        tracks.push_back({work.storedPath(entry), entry.crate->tracks[entry.track]});
    // Its problems are the database's, which the ratings' read names.
    return DatabaseRows::read(SeratoFolder::masterDatabase(), tracks, databaseWait_);
}

void BackupEngine::captureSeratoMetadata(const std::filesystem::path& root, const Plan& work,
                                         const DatabaseRows& rows) {
    // Always the running user's own Serato database, whichever library was chosen.
    const auto file = SeratoFolder::masterDatabase();
    std::string problem;
    auto library = SeratoSQL::read(file, &problem);
    if (!problem.empty()) {
        const std::size_t assets = library ? library->assets.size() : 0;
        const std::size_t rules = library ? library->smartCrates.size() : 0;
        reporter_.log(LogEntry::Level::warning,
                      "Couldn't read all of Serato's database " + platform::toUtf8(file) + " (" +
                          problem + "): read " + std::to_string(assets) +
                          " rating/color record(s) and " + std::to_string(rules) +
                          " smart-crate rule(s).");
    }
    if (!library) library.emplace();
    const auto canonical = canonicalKeys(library->assets);

    // Every column of a track's row goes with its first entry only: a track in many crates
    // would otherwise repeat its whole row in each.
    SeratoSQL::Library captured;
    std::size_t withFields = 0;
    std::unordered_set<std::string> tracksWithFields;
    for (const auto& entry : work.entries) {
        const std::string stored = work.storedPath(entry);
        const std::string& full = entry.crate->tracks[entry.track];
        std::optional<SeratoSQL::AssetMeta> meta;
        if (const auto found = findTrack(library->assets, canonical, stored, full);
            found != library->assets.end())
            meta = found->second;
        const auto* row = rows.find({stored, full});
        if (row && tracksWithFields.insert(text::nfcKey(full)).second) {
            if (!meta) meta.emplace();
            meta->fields = DatabaseRows::fields(*row);
            ++withFields;
        }
        if (meta) captured.assets[entry.relPath()] = std::move(*meta);
    }
    if (captured.assets.empty() && library->smartCrates.empty()) return;
    captured.smartCrates = library->smartCrates;
    const auto rated = std::count_if(captured.assets.begin(), captured.assets.end(), [](auto& a) {
        return a.second.rating || a.second.color || a.second.playCount;
    });

    const std::string json = SeratoSQL::encodeJson(captured);
    if (writeMetadataFile(root / BackupLayout::metadataFolder / BackupLayout::seratoJsonFileName,
                          {reinterpret_cast<const std::uint8_t*>(json.data()), json.size()}) != 0)
        return;
    reporter_.log(LogEntry::Level::info, "Captured " + std::to_string(rated) +
                                             " rating/color record(s) and " +
                                             std::to_string(captured.smartCrates.size()) +
                                             " smart-crate rule(s).");
    if (withFields > 0)
        reporter_.log(LogEntry::Level::info,
                      "Captured every database field of " + std::to_string(withFields) +
                          " track(s).");
}

void BackupEngine::saveDatabaseCrate(const std::filesystem::path& metadata, const Crate& crate,
                                     const Plan& work) {
    const auto memberOfTrack = [&](std::size_t track) { return memberOf(crate, track); };
    // Only a name that reads back as the same crate finds its backup folder at the restore.
    const std::string baseName = SeratoFolder::crateBaseName(crate.components);
    if (SeratoLibrary::nameComponents(baseName) != crate.components) {
        reporter_.log(LogEntry::Level::warning,
                      "Couldn't save the track order of the crate " +
                          BackupLayout::joinComponents(crate.components) +
                          ": its name cannot be a crate file's name. Its tracks are backed up; "
                          "a restore lists them in name order.");
        return;
    }
    writeMetadataFile(
        metadata / SeratoFolder::crateFolder /
            platform::toPath(SeratoFolder::crateFileName(crate.components, false)),
        CrateWriter::crateData(storedPaths(crate, work.libraryPrefixes, 0, memberOfTrack)));
}

// The catalog of this run's crates and files, and copies of the selected crates' files and of the
// crate order, so that the restore can rebuild each crate with its settings and track order.
// A crate only the database holds gets a crate file made from its list; a crate whose file
// lists other tracks than the database is saved with the database's list and the file's
// settings, and its file as it was is kept as well.
void BackupEngine::captureLibraryFiles(const std::filesystem::path& root,
                                       const std::vector<std::filesystem::path>& libraries,
                                       const std::vector<Crate::Ptr>& crates,
                                       const BackupOptions& options, Plan& work,
                                       const DatabaseRows& rows) {
    const auto metadata = root / BackupLayout::metadataFolder;
    BackupCatalog catalog;
    catalog.crates.emplace();
    std::unordered_set<std::string> listed;
    for (const auto& crate : crates) {
        if (!BackupLayout::isSafeFolderPath(crate->components)) continue;
        const std::string& folder = work.crateFolder(*crate);
        if (listed.insert(folder).second) catalog.crates->push_back(folder);
    }
    catalog.tracks.reserve(work.entries.size());
    for (const auto& entry : work.entries) {
        if (entry.crate->isNotInCrate) catalog.notInCrateFolder = *entry.folder;
        catalog.tracks.push_back({entry.relPath(), work.storedPath(entry), entry.member});
    }
    catalog.names = work.crateNames.changed();
    if (options.duplicateMode == DuplicateMode::dedupHardLink)
        catalog.storeFolder = options.storeFolderName;
    const auto catalogFile = metadata / BackupLayout::catalogFileName;
    const auto earlierBytes = readMetadata(catalogFile);
    const auto earlier =
        earlierBytes ? BackupCatalog::decode(*earlierBytes) : std::optional<BackupCatalog>();
    catalog.members = describeMembers(libraries, earlier);
    // This run's libraries, before an earlier run's join them: where each one's files are kept.
    BackupCatalog thisRun;
    thisRun.members = catalog.members;
    if (earlier) {
        // An earlier run's crate stays part of the backup while a library has it.
        const auto inLibrary = libraryCrateFolders(libraries, rows);
        const auto missing = catalog.missingMembers(*earlier);
        catalog.keepOthersFrom(*earlier, [&](const std::string& folder) {
            return !inLibrary || inLibrary->contains(text::nfcKey(folder));
        });
        for (const auto& member : missing) {
            // Its files stay in the backup as they are; a drive that is plugged in but was
            // not chosen for this run is no warning.
            if (platform::isDirectory(platform::toPath(member.library))) continue;
            reporter_.log(LogEntry::Level::warning,
                          member.name + " is not connected \u2014 last backed up " +
                              member.lastBackedUp.substr(0, 10) + ".");
        }
    }
    writeMetadataFile(catalogFile, catalog.encode());

    for (const auto& crate : crates) {
        if (!BackupLayout::isSafeFolderPath(crate->components)) continue;
        // The database's list is what was backed up; the file's own is kept beside it.
        const bool differs = crate->source == Crate::Source::both && crate->listsDiffer;
        bool saved = false;  // the database's list has its definition
        const auto memberOfTrack = [&](std::size_t track) { return memberOf(*crate, track); };
        for (const auto& file : crate->crateFiles) {
            const auto bytes = readMetadata(file, maxCrateBytes);
            if (!bytes) continue;
            // Each library's crate file is kept with that library's.
            const std::size_t member = memberOfFile(file, libraries);
            const auto into = thisRun.libraryFolder(metadata, member);
            const auto kind = file.parent_path().filename();
            if (!differs || kind != SeratoFolder::crateFolder || member != 0) {
                writeMetadataFile(into / kind / file.filename(), *bytes);
                continue;
            }
            writeMetadataFile(metadata / BackupLayout::crateFileVersionsFolder / file.filename(),
                              *bytes);
            // Other spellings of the name would add their tracks to the restored crate.
            if (file != crate->crateFiles.front()) continue;
            writeMetadataFile(metadata / kind / file.filename(),
                              CrateWriter::replaceTracks(
                                  *bytes, storedPaths(*crate, work.libraryPrefixes, 0, memberOfTrack)));
            saved = true;
        }
        // A crate only the database holds, or whose file could not be read, is saved from the
        // database's list; a smart crate's rules are kept in serato.json.
        if (crate->databaseId && !crate->isSmart && !saved &&
            (crate->crateFiles.empty() || differs))
            saveDatabaseCrate(metadata, *crate, work);
    }
    for (std::size_t member = 0; member < libraries.size(); ++member) {
        if (const auto order =
                readMetadata(libraries[member] / SeratoFolder::crateOrderFile, maxCrateBytes))
            writeMetadataFile(
                thisRun.libraryFolder(metadata, member) / SeratoFolder::crateOrderFile, *order);
    }
}

void BackupEngine::writeSmartCrateNotes(const std::filesystem::path& root, bool keepsReplaced) {
    std::string notes(BackupLayout::smartCrateNotes);
    if (keepsReplaced) notes += BackupLayout::replacedNotes;
    writeMetadataFile(root / BackupLayout::smartCratesFolder / BackupLayout::notesFileName,
                      {reinterpret_cast<const std::uint8_t*>(notes.data()), notes.size()});
}

}  // namespace morrowdeck
