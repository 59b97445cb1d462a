#include "engine/destination_lock.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <set>

#include "engine/run_result.h"
#include "platform/folder_handle.h"
#include "platform/path_text.h"

namespace morrowdeck {

DestinationLock::DestinationLock(ProgressReporter& reporter,
                                 const std::vector<std::filesystem::path>& locked,
                                 const std::vector<std::filesystem::path>& cleaned)
    : reporter_(reporter), start_(std::chrono::system_clock::now()) {
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (const auto& folder : locked) {
        platform::EntryStatus identity;
        if (platform::itemStatus(folder, platform::SymbolicLinks::follow, identity) == 0 &&
            !seen.insert({identity.device, identity.inode}).second) {
            continue;
        }
        platform::FileLock lock;
        const auto file = folder / fileName;
        const int error = lock.acquire(file);
        if (error == 0) {
            locks_.push_back(std::move(lock));
        } else if (error == EWOULDBLOCK) {
            throw PlatformError("Another Morrowdeck run is writing to " + platform::toUtf8(folder) +
                                ".");
        } else if (error == platform::FileLock::notRegularFile) {
            // Writing beside it unlocked could let a second run delete this run's copies.
            throw PlatformError("The lock file " + platform::toUtf8(file) +
                                " is not a regular file: remove it and start again.");
        } else if (platform::FileLock::isUnsupported(error)) {
            reporter_.log(LogEntry::Level::warning,
                          "The drive of " + platform::toUtf8(folder) +
                              " has no file locks: a second run could write there at the same "
                              "time.");
        } else {
            throw PlatformError("Couldn't take the lock file " + platform::toUtf8(file) + ": " +
                                platform::errorText(error) + ".");
        }
    }
    // Only now: a folder another run is writing to must not lose that run's files.
    for (const auto* folders : {&locked, &cleaned})
        for (const auto& folder : *folders)
            clean(platform::toUtf8(folder));
    reporter_.setBeforeEndLine([this] { tellRemoved(); });
}

// A lock given up before the run ends (one library's of several) tells its count then.
DestinationLock::~DestinationLock() {
    reporter_.setBeforeEndLine({});
    tellRemoved();
}

void DestinationLock::tellRemoved() {
    std::lock_guard lock(mutex_);
    if (removed_ > 0) {
        reporter_.log(LogEntry::Level::info, "Removed " + std::to_string(removed_) +
                                                 " unfinished temporary file(s) from an earlier run.");
    }
    removed_ = 0;  // told once
}

void DestinationLock::clean(std::string_view folder) {
    std::lock_guard lock(mutex_);
    if (cleaned_.insert(std::string(folder)).second)
        removed_ += platform::removeStaleTemporaryFiles(platform::toPath(folder), start_);
}

}  // namespace morrowdeck
