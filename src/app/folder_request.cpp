#include "app/folder_request.h"

#include "platform/file_system.h"
#include "platform/home_folder.h"

namespace morrowdeck {

std::filesystem::path FolderRequest::defaultStart() {
    const std::filesystem::path home = platform::homeFolder();
    return platform::isDirectory(home / "Music") ? home / "Music" : home;
}

}  // namespace morrowdeck
