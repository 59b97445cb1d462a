#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morrowdeck {

// What a backup folder holds, written by the backup beside the audio and read by the restore:
// which library track each backed-up file is, which folder holds the tracks that are in no
// crate, and the de-duplication store's folder. Without it (a backup from an earlier version)
// the restore reads every folder as a crate, as before.
struct BackupCatalog {
    struct Track {
        std::string file;    // path inside the backup: crate folder, "/", file name
        std::string source;  // the track's path as the library stores it (volume-relative)
        std::size_t member = 0;  // index into `members` of the library it came from
    };

    // One library of the backup: a "_Serato_" folder and the volume that holds it. A catalog
    // from an earlier version lists none (its one library is unnamed).
    struct Member {
        std::string name;          // "home", the drive's label, or its file-system UUID
        std::string library;       // the "_Serato_" folder when it was last backed up
        std::string volumePrefix;  // its tracks' paths are relative to this mount point
        std::string label;
        std::string uuid;
        std::string fileSystem;
        std::string mountPoint;
        std::string lastBackedUp;  // UTC date and time of the last run it was connected for

        bool operator==(const Member&) const = default;
    };

    std::vector<Track> tracks;  // in crate and track order
    std::vector<Member> members;
    // The crate folders that make up the backup, also those of crates without tracks: the last
    // run's crates and the crates an earlier run kept. A folder not listed was left by an earlier
    // run (its crate renamed or removed since) and is no crate of the backup. Absent in a
    // catalog from an earlier version, where every folder is a crate.
    std::optional<std::vector<std::string>> crates;
    std::optional<std::string> notInCrateFolder;  // the folder that is not a crate
    std::string storeFolder;                      // empty when nothing was de-duplicated
    // The folders and files stored under another name than their own (a name Windows refuses,
    // or one a file system ignoring case would confuse with another): path inside the backup
    // -> the name it stands for. The paths above are the stored ones.
    std::map<std::string, std::string> names;

    // The path inside the backup with each stored name replaced by the name it stands for.
    std::string originalPath(const std::string& stored) const;

    // Where the crate files and crate order of one library are kept below the backup's
    // metadata folder: that folder itself for the first library, a folder named by the
    // library's safe name in "Libraries" for each other.
    std::filesystem::path libraryFolder(const std::filesystem::path& metadata,
                                        std::size_t member) const;

    // The catalog as one JSON document.
    std::vector<std::uint8_t> encode() const;

    // Absent when the bytes are not a catalog; entries that are not two strings are skipped.
    static std::optional<BackupCatalog> decode(std::span<const std::uint8_t> bytes);

    // The catalog of the backup in `backupRoot`, read within the metadata size limit; absent
    // when there is none or it cannot be used (`warning`, when given, then says why, unless
    // it is simply missing).
    static std::optional<BackupCatalog> read(const std::filesystem::path& backupRoot,
                                             std::string* warning = nullptr);

    // This catalog followed by the crates and entries of an earlier one whose crate folders this
    // one does not hold, as long as `stillACrate(folder)` says the library still has that
    // crate: a backup of some crates keeps what an earlier run recorded for the others, but a
    // crate renamed or removed since is no longer part of the backup (`stillACrate` is asked
    // with the folder's own names). The folder of the tracks that are in no crate is always
    // kept, and so are the stored names of what is kept.
    //
    // The members of the earlier catalog that this one does not list were not connected for
    // this run: they join this catalog as they were, and every track and crate folder of
    // theirs is kept, as nothing of a drive that is not there is known to be gone.
    void keepOthersFrom(const BackupCatalog& earlier,
                        const std::function<bool(const std::string&)>& stillACrate);

    // The members of `earlier` this catalog does not list (by name): the libraries of a backup
    // that a run did not reach.
    std::vector<Member> missingMembers(const BackupCatalog& earlier) const;
};

}  // namespace morrowdeck
