#include "platform/folder_handle.h"

#include <utility>

// Ownership of the open folder, the same on every backend; each backend opens, asks and closes.
namespace morrowdeck::platform {

FolderHandle::~FolderHandle() {
    close();
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

}  // namespace morrowdeck::platform
