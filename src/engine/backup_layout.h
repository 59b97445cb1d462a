#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Names and paths of a backup folder, shared by the backup that writes it and the restore
// that reads it back.
namespace morrowdeck::BackupLayout {

inline constexpr std::string_view smartCratesFolder = "Smart Crates";
inline constexpr std::string_view notesFileName = "HOW TO RESTORE.txt";
inline constexpr std::string_view metadataFolder = ".morrowdeck";
inline constexpr std::string_view snapshotFileName = "library.dbsnap";
inline constexpr std::string_view seratoJsonFileName = "serato.json";
// Inside the metadata folder: which library track each file is (BackupCatalog), and copies
// of the library's crate files (in folders named as Serato names them) and crate order.
inline constexpr std::string_view catalogFileName = "catalog.json";
// Inside the metadata folder: the crate files, as they were, of crates whose file lists other
// tracks than Serato's database. Their copies among the saved crate files carry the
// database's list (what Serato reads) with the file's settings, and are what a restore writes.
inline constexpr std::string_view crateFileVersionsFolder = "Crate File Versions";
// Inside the metadata folder: the latest consistent copy of Serato's master.sqlite, and a
// folder of copies of the further databases it names (one per drive), each under a name made
// from a hash of its URI, with an index of which URI each file holds.
inline constexpr std::string_view seratoDatabaseCopyName = "master.sqlite";
inline constexpr std::string_view connectedDatabasesFolder = "Connected Databases";
inline constexpr std::string_view connectedDatabasesIndex = "index.json";
// Inside the metadata folder: a folder per library of a backup that spans drives, after the
// first, named by the library's name (in its safe form), holding that library's crate files
// and crate order as the metadata folder holds the first's.
inline constexpr std::string_view librariesFolder = "Libraries";
// Inside the metadata folder: the files re-runs replaced, one folder per run named by the
// run's date ("YYYY-MM-DD HH.MM.SS"), each file under its path in the backup (ReplacedRuns).
inline constexpr std::string_view replacedFolder = "Replaced";
// Inside the metadata folder: size, date and content hash of every backed-up file
// (BackupManifest).
inline constexpr std::string_view manifestFileName = "manifest.tsv";
// The default folder that holds each shared file once when duplicates are hard-linked.
inline constexpr std::string_view defaultStoreFolder = ".ORVEL_Store";

// The notes written beside rules-only smart-crate files (246 bytes, no final line feed).
extern const std::string_view smartCrateNotes;
// The paragraph added to those notes when a backup keeps the files its re-runs replace.
extern const std::string_view replacedNotes;

// Components joined with "/".
std::string joinComponents(const std::vector<std::string>& components);
// A path split at every "/", empty components kept ("" gives one empty component).
std::vector<std::string> splitComponents(std::string_view path);

// True when every component can be used as one folder name: not empty, not "." or "..",
// and without "/" or NUL. Such names are stored as they are, or in the form StoredNames
// gives a name Windows refuses.
bool isSafeFolderPath(const std::vector<std::string>& components);

// The last path component of a track path ("" when the path ends in "/").
std::string fileName(std::string_view trackPath);

// Everything before the last "/" of a path inside the backup ("" when there is none).
std::string folderOf(std::string_view relPath);

// A track's path inside the backup: components, "/", file name.
std::string relPath(const std::vector<std::string>& components, std::string_view fileName);

// The name for the n-th (n >= 2) of several different tracks with one file name in one crate
// folder: "X.mp3" -> "X (2).mp3"; a name without an extension gets the suffix at its end.
std::string numberedName(std::string_view name, int n);

// The track path without its leading slashes: the key of database records and SQLite assets.
std::string pfilKey(std::string_view trackPath);

// The store copy of a source: store folder + the source path without one leading "/".
// Absent when the path would leave the store folder (a ".." component) or names no file.
std::optional<std::filesystem::path> storeFile(const std::filesystem::path& storeFolder,
                                               std::string_view trackPath);

}  // namespace morrowdeck::BackupLayout
