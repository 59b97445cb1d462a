#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include <QString>

class QWidget;

namespace morrowdeck {

// The desktop's file manager and folder chooser, as the window model asks for them.
namespace DesktopServices {

// Opens a file-manager window with the folder selected (the freedesktop FileManager1
// interface over D-Bus; on Windows, Explorer); where no file manager answers it, opens the
// folder itself, and where that fails too, calls `failed` (later, on the UI thread, when the
// D-Bus call was made).
void showInFileManager(const std::filesystem::path& folder, std::function<void()> failed);

// A modal folder chooser titled `title`, starting in `startIn` (or in ~/Music when it exists,
// else the home folder). None when the user dismisses it.
std::optional<std::filesystem::path> chooseFolder(QWidget* parent, const QString& title,
                                                  const std::filesystem::path& startIn,
                                                  bool canCreateFolders);

}  // namespace DesktopServices

}  // namespace morrowdeck
