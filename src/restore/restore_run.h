#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/backup_catalog.h"
#include "engine/backup_manifest.h"
#include "engine/destination_lock.h"
#include "library/serato_folder.h"
#include "restore/library_writer.h"
#include "restore/member_targets.h"
#include "restore/restore_engine.h"

namespace morrowdeck {

// The locations and working tables of one restore run (local to execute()).
struct RestoreEngine::Run {
    std::filesystem::path backupRoot;
    std::filesystem::path audioTarget;  // resolved: crate paths are derived from it
    std::filesystem::path seratoRoot;
    ExistingFiles existing = ExistingFiles::replace;
    bool rebuildDatabase = true;
    std::chrono::nanoseconds granularity{1};  // of the audio target's dates, when compared
    std::uint32_t restoreTime = 0;  // seconds since 1970, taken once
    std::string volumePrefix;       // of the Serato folder: restored paths are relative to it
    // The library restored as it was, its tracks to their own paths below its root; null for a
    // restore of a folder per crate (every library of the backup at once).
    const MemberTarget* place = nullptr;
    std::filesystem::path placeRoot;  // the place's root, resolved
    DestinationLock* destination = nullptr;  // held for the run; cleans each copy folder
    LibraryWriter* writer = nullptr;         // every write of the run goes through it

    // What the backup says of its files (absent for a backup from an earlier version).
    std::optional<BackupCatalog> catalog;
    // The size, date and content hash of each backed-up file (absent for an earlier backup).
    std::optional<BackupManifest> manifest;
    // relPath -> library path (marked with its library when not the first library's)
    std::unordered_map<std::string, std::string> sourceOfFile;
    // relPath -> the path below the place's root the file goes back to (place only).
    std::unordered_map<std::string, std::string> originalPathOfFile;
    // Canonical crate folder + NUL + canonical library path -> relPath of its file there.
    std::unordered_map<std::string, std::string> fileOfTrack;
    // The library's crate files saved by the backup, grouped by crate folder (canonical
    // form of its relative path): a crate's settings and track order come from them.
    struct SavedCrate {
        std::vector<std::string> components;
        std::vector<std::filesystem::path> files;  // in file-name order; the first is written
        std::vector<std::size_t> members;          // the library each file was saved from
    };
    std::map<std::string, SavedCrate> savedCrates;
    std::unordered_set<std::string> smartFolders;  // canonical folders of saved smart crates
    std::vector<std::filesystem::path> savedSmartCrates;

    // Files the catalog lists that the backup no longer holds (backup-relative).
    std::vector<std::string> missingFromBackup;
    // As it was: files of no library track (added to the backup by hand), and files whose
    // recorded path would lead out of their target; both are left in the backup.
    std::vector<std::string> withoutPlace;
    std::vector<std::string> unsafePaths;
    // Folders of audio that are no crate of the backup's last run: left in the backup.
    std::vector<CrateEntry> notInLastRun;

    // Canonical backup-relative path -> volume-relative path of the restored file. Canonical,
    // as the catalog and the saved records may spell a name in the other normalisation form
    // than the folder it was copied into.
    std::unordered_map<std::string, std::string> pathMap;
    std::unordered_map<std::string, std::string> keyOfSource;  // canonical library path -> restored
    std::map<std::string, SeratoDatabase::Bytes> snapshotTable;  // relPath -> Serato's record
    std::map<std::string, SeratoDatabase::Bytes> recordTable;    // volume-relative path -> record

    // Base names of the crate files written, in order, and whether each came from a saved file.
    std::vector<std::pair<std::string, bool>> crateNames;
    std::size_t restoredCrates = 0;
    std::size_t restoredTracks = 0;
    std::size_t crateEntries = 0;
    bool mergedDatabase = false;
    bool databaseWritten = false;  // the rebuilt database V2 took its place

    // Whether an existing crate or smart-crate file is replaced: it is the library's own, so it
    // follows the restored files also when they are written beside existing ones (the file it
    // replaces is saved in the undo folder); keeping a user's newer files keeps it too.
    bool replacesCrateFiles() const {
        return existing == ExistingFiles::replace || existing == ExistingFiles::keepBoth;
    }

    std::filesystem::path crateFolder() const { return seratoRoot / SeratoFolder::crateFolder; }
    std::filesystem::path smartCrateFolder() const {
        return seratoRoot / SeratoFolder::smartCrateFolder;
    }
    std::filesystem::path metadataFolder() const;
    // Where the restored library's crate files and crate order were saved: the place's own
    // folder, else the first library's (the metadata folder).
    std::filesystem::path libraryFolder() const;
    // A library path as the tables above key it: marked with its library when not the first's,
    // as two drives may store one path for two tracks.
    static std::string markedSource(std::size_t member, const std::string& source) {
        return member == 0 ? source : "\x01" + std::to_string(member) + "\x01" + source;
    }
};

}  // namespace morrowdeck
