#pragma once

#include <string>
#include <string_view>

#include "engine/backup_layout.h"
#include "library/serato_folder.h"

// File names and fixed texts of a restore.
namespace morrowdeck::RestoreTexts {

// Morrowdeck's hidden folder inside the Serato folder, named like the one in a backup.
inline constexpr std::string_view stagedFolder = BackupLayout::metadataFolder;
inline constexpr std::string_view stagedFile = "apply.json";
inline constexpr std::string_view notesFile = "Morrowdeck \u2014 Restore Notes.txt";

// Said when the system does not let Morrowdeck see whether Serato runs: the step goes on.
inline constexpr std::string_view seratoStateUnknown =
    "Couldn't tell whether Serato is running: keep it closed until this is done, or it may "
    "write over what is put back.";

inline constexpr std::string_view notesHeader =
    "Morrowdeck \u2014 Restore notes\n==========================\n\n";
inline constexpr std::string_view notesRebuilt =
    "Your library was rebuilt \u2014 including a fresh Serato database pointing at\n"
    "these restored files. Just open Serato DJ and everything is back: your\n"
    "crates, tracks, BPM, key, and (per track, as Serato always does) cues and\n"
    "beatgrids, which are read from the files themselves.\n\n"
    "No old database was used, so a corrupt database can't follow you here.";
inline constexpr std::string_view notesMerged =
    "Your restored tracks were merged into the Serato database already in this\n"
    "library, with records pointing at these restored files. Just open Serato DJ:\n"
    "your crates, tracks, BPM, key, cues and beatgrids are back, and the library's\n"
    "other tracks stay as they were.";
inline constexpr std::string_view notesReadTags =
    "Your tracks and crates were restored. Serato stores each track's cues,\n"
    "beatgrids, BPM and key INSIDE the audio files, so nothing was lost \u2014 Serato\n"
    "just needs to read them once:\n\n"
    "  1. Quit and reopen Serato DJ.\n"
    "  2. Select the restored crates.\n"
    "  3. Right-click -> \"Read Tags\"  (NOT \"Analyze\" \u2014 it can overwrite cues).";
inline constexpr std::string_view notesClosing =
    "\nNote: data Serato keeps only in its database \u2014 star ratings, play counts,\n"
    "date-added \u2014 isn't stored in files and starts fresh. Smart Crates based on\n"
    "BPM/key/genre work; a rating-based Smart Crate may come back empty.";

inline constexpr std::string_view hintApply =
    "Open Serato once, quit it, then run 'Apply to Serato' to restore ratings & rules.";
inline constexpr std::string_view hintReady = "Just open Serato \u2014 your library is ready.";

// A restored copy that would go beside an existing file, for which no free name was found.
inline constexpr std::string_view noRestoredName =
    "no free \"(restored)\" name beside the existing file, which stays";

// A folder of the backup that is no crate of its last run (the dry run's row, the run's line).
inline constexpr std::string_view notInLastRun = "not in the last run";
// Restoring as it was: a file of the backup that is no library's track, and one whose recorded
// path would lead out of its library's target.
inline constexpr std::string_view notATrack = "no library's track, so it has no place of its own";
inline constexpr std::string_view unsafeTrackPath =
    "its recorded path leads out of its drive; nothing was written for it";

}  // namespace morrowdeck::RestoreTexts
