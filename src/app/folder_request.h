#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

namespace morrowdeck {

// What a folder chooser is asked for; the view shows a dialog, tests answer directly.
struct FolderRequest {
    QString title;
    QString message;
    std::filesystem::path startIn;  // empty: the chooser's own default
    bool canCreateFolders = false;

    // Where the application's choosers open: ~/Music when it exists, else the home folder.
    static std::filesystem::path defaultStart();
};

// Answers a request with the chosen folder, or nothing when dismissed.
using FolderChooser = std::function<std::optional<std::filesystem::path>(const FolderRequest&)>;

}  // namespace morrowdeck
