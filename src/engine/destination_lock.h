#pragma once

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/progress_reporter.h"
#include "platform/file_lock.h"
#include "platform/file_operations.h"

namespace morrowdeck {

// Held by a run for as long as it writes. It keeps a second run, in this process or another,
// from writing to the same folders at once, and removes the hidden temporary files that a run
// killed while writing (power loss, a second Ctrl-C) left in the folders this run writes:
// only files with the copier's temporary names, last changed before this run started.
//
// Threads: made and dropped on the work thread; clean() may be called from any thread.
class DestinationLock {
  public:
    // The lock file inside each locked folder; it is removed when the run ends.
    static constexpr std::string_view fileName = ".morrowdeck.lock";

    // Locks each of `locked` (existing folders; one that is another's alias is locked once),
    // then cleans them and `cleaned`. Throws PlatformError "Another Morrowdeck run is writing
    // to {folder}." while another run holds one of them, and a PlatformError naming the lock
    // file when it cannot be taken (something other than a regular file in its place, a file
    // that cannot be made). A folder whose file system has no locks is written unlocked, with
    // a warning. The number of files removed over the run is logged by the reporter's
    // finish(), just before the end line, or when the lock is dropped before that.
    DestinationLock(ProgressReporter& reporter, const std::vector<std::filesystem::path>& locked,
                    const std::vector<std::filesystem::path>& cleaned);
    ~DestinationLock();
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

    // Removes the leftovers from a folder the run is about to write to; once per folder.
    void clean(std::string_view folder);

  private:
    // Logs how many files were removed, if any, once.
    void tellRemoved();

    ProgressReporter& reporter_;
    std::vector<platform::FileLock> locks_;
    const platform::FileTime start_;
    std::mutex mutex_;
    std::set<std::string, std::less<>> cleaned_;
    std::size_t removed_ = 0;
};

}  // namespace morrowdeck
