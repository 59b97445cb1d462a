// RestoreEngine: what the backup's metadata says of its files, the identity of a restored
// track, and the crate and smart-crate files written from the saved originals.

#include <algorithm>
#include <unordered_set>

#include "engine/backup_layout.h"
#include "engine/metadata_file.h"
#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_library.h"
#include "library/unicode_text.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/folder_handle.h"
#include "platform/path_text.h"
#include "restore/member_targets.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"

namespace morrowdeck {

namespace {

using Level = LogEntry::Level;

// One crate or smart-crate file dealt with: failed (counted where it failed), written, or
// kept (an existing one, when existing files are kept).
void countCrateFile(ProgressSnapshot& snap, int error, bool written) {
    ++snap.completedFiles;
    if (error != 0) return;
    ++(written ? snap.copiedFiles : snap.skippedFiles);
}

// The key of one library track inside one crate folder.
std::string trackInFolder(const std::string& folder, const std::string& source) {
    return text::nfcKey(folder) + '\0' + text::nfcKey(source);
}

// The files of a metadata sub-folder in code-point order of their names.
std::vector<std::filesystem::path> savedFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& name : platform::listDirectory(folder, platform::HiddenEntries::include)
                                .value_or(std::vector<std::string>{}))
        if (!name.starts_with("._")) files.push_back(folder / platform::toPath(name));
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::filesystem::path RestoreEngine::Run::metadataFolder() const {
    return backupRoot / BackupLayout::metadataFolder;
}

std::filesystem::path RestoreEngine::Run::libraryFolder() const {
    if (!place || !catalog) return metadataFolder();
    return catalog->libraryFolder(metadataFolder(), place->member);
}

std::optional<std::vector<std::uint8_t>> RestoreEngine::readMetadata(
    const std::filesystem::path& file, std::uint64_t maxBytes) {
    std::string warning;
    auto bytes = readMetadataFile(file, warning, maxBytes);
    if (!warning.empty()) reporter_.log(Level::warning, warning);
    return bytes;
}

void RestoreEngine::readBackupMetadata(Run& run) {
    const auto metadata = run.metadataFolder();
    if (const auto snapshot = readMetadata(metadata / BackupLayout::snapshotFileName))
        run.snapshotTable = SeratoDatabase::parseSnapshot(*snapshot);
    run.manifest = BackupManifest::load(run.backupRoot);
    if (const auto catalog = readMetadata(metadata / BackupLayout::catalogFileName))
        run.catalog = BackupCatalog::decode(*catalog);
    if (!run.catalog) return;  // saved crates are matched to files through the catalog

    for (const auto& track : run.catalog->tracks) {
        const std::string source = Run::markedSource(track.member, track.source);
        run.sourceOfFile.try_emplace(track.file, source);
        run.fileOfTrack.try_emplace(trackInFolder(BackupLayout::folderOf(track.file), source),
                                    track.file);
        // A track one library lists on another's drive is that drive's track too.
        if (const auto [member, path] = MemberTargets::placeOf(*run.catalog, track);
            member != track.member)
            run.fileOfTrack.try_emplace(
                trackInFolder(BackupLayout::folderOf(track.file), Run::markedSource(member, path)),
                track.file);
    }
    // A library restored as it was gets its own crates; a restore of a folder per crate takes
    // every library's, the first library's file of a crate first.
    std::vector<std::size_t> libraries;
    if (run.place) {
        libraries.push_back(run.place->member);
    } else {
        for (std::size_t member = 0; member < std::max<std::size_t>(run.catalog->members.size(), 1);
             ++member)
            libraries.push_back(member);
    }
    std::unordered_set<std::string> smartNames;
    for (const std::size_t member : libraries) {
        const auto folder = run.catalog->libraryFolder(metadata, member);
        if (member != 0 && folder == metadata) continue;
        for (const auto& file : savedFiles(folder / SeratoFolder::crateFolder)) {
            if (file.extension() !=
                platform::toPath("." + std::string(SeratoFolder::crateExtension)))
                continue;
            auto components = SeratoLibrary::nameComponents(platform::toUtf8(file.stem()));
            if (components.empty()) continue;
            auto& saved = run.savedCrates[text::nfcKey(BackupLayout::joinComponents(components))];
            if (saved.files.empty()) saved.components = std::move(components);
            saved.files.push_back(file);
            saved.members.push_back(member);
        }
        for (const auto& file : savedFiles(folder / SeratoFolder::smartCrateFolder)) {
            if (file.extension() !=
                    platform::toPath("." + std::string(SeratoFolder::smartCrateExtension)) ||
                !smartNames.insert(text::nfcKey(platform::toUtf8(file.filename()))).second)
                continue;
            auto components = SeratoLibrary::nameComponents(platform::toUtf8(file.stem()));
            components.insert(components.begin(), std::string(SeratoLibrary::smartCratesGroup));
            run.smartFolders.insert(text::nfcKey(BackupLayout::joinComponents(components)));
            run.savedSmartCrates.push_back(file);
        }
    }
}

// The saved smart crates, then those found in the backup's folders under other names.
std::vector<std::filesystem::path> RestoreEngine::smartCratesToRestore(
    const Run& run, const std::vector<std::filesystem::path>& scanned) {
    std::vector<std::filesystem::path> files = run.savedSmartCrates;
    std::unordered_set<std::string> names;
    for (const auto& file : files)
        names.insert(text::nfcKey(platform::toUtf8(file.filename())));
    for (const auto& file : scanned)
        if (names.insert(text::nfcKey(platform::toUtf8(file.filename()))).second)
            files.push_back(file);
    return files;
}

// Which library track a file of the backup is: the catalog says so, else Serato's saved
// record names its path, else hard links of one stored file are one track; otherwise the file
// is a track of its own.
std::string RestoreEngine::trackIdentity(const Run& run, const std::string& relPath,
                                         const std::filesystem::path& file) {
    if (const auto source = run.sourceOfFile.find(relPath); source != run.sourceOfFile.end())
        return "library:" + text::nfcKey(source->second);
    if (const auto saved = run.snapshotTable.find(relPath); saved != run.snapshotTable.end())
        if (const auto path = SeratoDatabase::pfil(saved->second))
            return "library:" + text::nfcKey(*path);
    platform::EntryStatus identity;
    if (platform::itemStatus(file, platform::SymbolicLinks::follow, identity) == 0 &&
        identity.links > 1) {
        return "file:" + std::to_string(identity.device) + ":" + std::to_string(identity.inode);
    }
    return "backup:" + relPath;
}

// Every backup folder is a crate, except the one holding the tracks that are in no crate and
// the folders of smart crates copied as folders (their rules are restored instead).
bool RestoreEngine::makesCrateFile(const Run& run, const std::string& relFolder) {
    if (run.catalog && run.catalog->notInCrateFolder == relFolder) return false;
    return !run.smartFolders.contains(
        text::nfcKey(BackupLayout::joinComponents(crateComponents(run, relFolder))));
}

std::vector<std::string> RestoreEngine::crateComponents(const Run& run,
                                                        const std::string& relFolder) {
    return BackupLayout::splitComponents(run.catalog ? run.catalog->originalPath(relFolder)
                                                    : relFolder);
}

std::vector<std::vector<std::string>> RestoreEngine::savedCratesWithoutFolder(
    const Run& run, const std::vector<CrateEntry>& entries) {
    std::unordered_set<std::string> folders;
    for (const auto& entry : entries)
        folders.insert(text::nfcKey(BackupLayout::joinComponents(
            crateComponents(run, BackupLayout::joinComponents(entry.components)))));
    std::vector<std::vector<std::string>> crates;
    for (const auto& [folder, saved] : run.savedCrates)
        if (!folders.contains(folder)) crates.push_back(saved.components);
    return crates;
}

// The crate file of one backup folder. A crate the backup saved is written from its saved
// file with only the track paths replaced, so its settings and track order come back; the
// folder's files it does not list (added to the backup by hand, left by an earlier run)
// follow in name order. A folder without a saved crate lists its files in name order.
void RestoreEngine::writeCrate(Run& run, const std::string& folder,
                               const std::vector<std::string>& components,
                               const std::vector<std::filesystem::path>& files,
                               const std::vector<std::string>& paths) {
    std::filesystem::path target =
        run.crateFolder() / platform::toPath(SeratoFolder::crateFileName(components, false));
    std::vector<std::uint8_t> bytes;
    const auto saved =
        run.savedCrates.find(text::nfcKey(BackupLayout::joinComponents(components)));
    const auto original = saved == run.savedCrates.end()
                              ? std::nullopt
                              : readMetadata(saved->second.files.front(), maxCrateBytes);
    if (original) {
        target = run.crateFolder() / saved->second.files.front().filename();
        std::unordered_set<std::string> listed;  // canonical backup-relative paths
        const auto restoredOf = [&](std::size_t member, const std::string& stored)
            -> std::optional<std::string> {
            const auto file =
                run.fileOfTrack.find(trackInFolder(folder, Run::markedSource(member, stored)));
            if (file == run.fileOfTrack.end()) return std::nullopt;  // was missing at backup
            const std::string key = text::nfcKey(file->second);
            const auto path = run.pathMap.find(key);
            if (path == run.pathMap.end()) return std::nullopt;  // gone from the backup since
            listed.insert(key);
            return path->second;
        };
        bytes = CrateWriter::rewriteTrackPaths(
            *original, [&](const std::string& stored) {
                return restoredOf(saved->second.members.front(), stored);
            });
        // Spellings of the same crate name in the other normalisation form join this crate.
        std::vector<std::string> more;
        for (std::size_t i = 1; i < saved->second.files.size(); ++i)
            if (const auto other = readMetadata(saved->second.files[i], maxCrateBytes))
                for (const auto& stored : CrateParser::storedPaths(*other))
                    more.push_back(
                        restoredOf(saved->second.members[i], stored).value_or(stored));
        for (std::size_t i = 0; i < files.size(); ++i)
            if (!listed.contains(
                    text::nfcKey(folder + "/" + platform::toUtf8(files[i].filename()))))
                more.push_back(paths[i]);
        if (!more.empty()) bytes = CrateWriter::appendTracks(bytes, more);
    } else {
        bytes = CrateWriter::crateData(paths);
    }

    const bool write = run.replacesCrateFiles() || !platform::itemExists(target);
    const int error = write ? run.writer->write(target, bytes, maxCrateBytes) : 0;
    if (error == 0) {
        // A crate that is not there is not listed in the crate order either.
        ++run.restoredCrates;
        run.crateNames.emplace_back(platform::toUtf8(target.stem()), original.has_value());
    }
    reporter_.updateAndMaybeEmit([&](Snapshot& snap) { countCrateFile(snap, error, write); });
}

// Smart-crate files, one at a time and logged at once, their cached track lists pointed at
// the restored files. False when cancelled before the last one.
bool RestoreEngine::restoreSmartCrates(const Run& run,
                                       const std::vector<std::filesystem::path>& scrates) {
    const auto restored = [&](const std::string& stored) -> std::optional<std::string> {
        const auto found = run.keyOfSource.find(text::nfcKey(stored));
        return found == run.keyOfSource.end() ? std::nullopt : std::optional(found->second);
    };
    for (const auto& file : scrates) {
        if (reporter_.isCancelled()) return false;
        const auto target = run.smartCrateFolder() / file.filename();
        const bool write = run.replacesCrateFiles() || !platform::itemExists(target);
        int error = 0;
        if (write) {
            std::vector<std::uint8_t> bytes;
            error = platform::readFileAtMost(file, maxCrateBytes, bytes);
            if (error != 0) {
                const std::string problem = "couldn't read " + platform::toUtf8(file) + ": " +
                                            unreadableReason(error, maxCrateBytes);
                reporter_.countFailure(
                    {platform::toUtf8(file), RunProblem::Kind::failed, problem}, Level::error,
                    "Restore failed: " + platform::toUtf8(file.filename()) + " \u2014 " + problem);
            } else {
                error = run.writer->write(target, CrateWriter::rewriteTrackPaths(bytes, restored),
                                          maxCrateBytes);
            }
        }
        reporter_.updateAndMaybeEmit([&](Snapshot& snap) {
            snap.currentFile = platform::toUtf8(file.filename());
            countCrateFile(snap, error, write);
        });
    }
    return true;
}

}  // namespace morrowdeck
