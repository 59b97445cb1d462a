#pragma once

#include <QString>
#include <filesystem>
#include <optional>

#include "engine/progress_snapshot.h"

// The texts of the restore window, as pure functions of the values they show, so the view
// only places them. The percentage, bar fraction and section title are the backup pane's
// (paneText::percentage, fraction, progressTitle).
namespace morrowdeck::restoreText {

// The title of a location row: the folder's last path component, or `placeholder` when none.
QString locationTitle(const std::optional<std::filesystem::path>& folder,
                      const QString& placeholder);

// The subtitle of a location row: the folder's full path, or `placeholder` when none.
QString locationSubtitle(const std::optional<std::filesystem::path>& folder,
                         const QString& placeholder);

// The caption under the rebuild option. With the option on and a database already in the
// chosen library, it says that the restored tracks are merged into it.
QString rebuildCaption(bool rebuildDatabase, bool mergesIntoExistingDatabase);

// The status line before the first restore: the folder still to choose, that no crate is
// checked, or that it is ready.
QString readyPrompt(bool hasBackup, bool hasAudioTarget, bool hasSerato, bool hasCrates = true);

// "{completed} / {total}".
QString countText(const ProgressSnapshot& snapshot);

}  // namespace morrowdeck::restoreText
