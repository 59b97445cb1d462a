#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/progress_snapshot.h"
#include "library/library_finder.h"

// The texts of the backup pane and the status line, as pure functions of the values they
// show, so the views only place them.
namespace morrowdeck::paneText {

// Whole percent of the files dealt with, truncated; 0 while the total is unknown.
int percentage(const ProgressSnapshot& snapshot);

// completedFiles ÷ totalFiles for a progress bar; 0 while the total is unknown.
double fraction(const ProgressSnapshot& snapshot);

// "{completed} / {total} files".
QString filesText(const ProgressSnapshot& snapshot);

// "1.2 GB", or "1.2 GB • 45.3 MB/s" once a rate is known.
QString throughputText(const ProgressSnapshot& snapshot);

// "{eta} left" while copying faster than 1000 bytes a second; none otherwise.
std::optional<QString> timeLeftText(const ProgressSnapshot& snapshot);

// The status line after a backup: the same words as the run's last log line ("Backup
// cancelled.", "Backup complete — 3 copied, …" or "Backup finished with issues — …").
QString finalStatus(const ProgressSnapshot& snapshot);

// "Loaded {leaves} crate(s), {total} track reference(s)."
QString loadedStatus(std::size_t leaves, std::size_t trackReferences);

// "{n} crate(s) selected" and "{t} track(s)" of the action bar.
QString selectedCratesText(std::size_t crates);
// A byte count in the file style ("1.2 MB").
QString byteCountText(std::int64_t bytes);
// The selection's tracks: "2,000 tracks in 6,569 crate entries", or "2,000 tracks" when no
// track is in two selected crates.
QString selectedTracksText(std::int64_t distinct, std::int64_t entries);
// A count with its thousands grouped: "6,569".
QString countText(std::int64_t count);

// A found library in the Library menu: "{drive} — {crates} crate(s), {tracks} track(s)".
QString foundLibraryText(const FoundLibrary& found);

// One count badge under the progress bar. The colour is named; the view picks the shade.
struct Chip {
    enum class Color { green, blue, secondary, orange, red };
    QString label;
    std::int64_t value = 0;
    Color color = Color::secondary;
    bool operator==(const Chip&) const = default;
};

// Copied, Linked and Skipped always; Missing and Failed only when at least one.
std::vector<Chip> chips(const ProgressSnapshot& snapshot);

// The progress section's title: the phase, or "Progress" before there is one.
QString progressTitle(const ProgressSnapshot& snapshot);

}  // namespace morrowdeck::paneText
