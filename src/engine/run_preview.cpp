#include "engine/run_preview.h"

#include <algorithm>

#include "library/formatting.h"
#include "platform/file_operations.h"
#include "platform/volumes.h"

namespace morrowdeck {

void RunPreview::Tally::add(const Tally& other) {
    filesToCopy += other.filesToCopy;
    bytesToCopy += other.bytesToCopy;
    filesUpToDate += other.filesUpToDate;
    bytesUpToDate += other.bytesUpToDate;
    filesToLink += other.filesToLink;
    filesToReplace += other.filesToReplace;
    filesBesideExisting += other.filesBesideExisting;
    allocationSlack += other.allocationSlack;
    problems.insert(problems.end(), other.problems.begin(), other.problems.end());
}

RunPreview::Tally RunPreview::total() const {
    Tally sum;
    for (const auto& crate : crates)
        sum.add(crate);
    return sum;
}

std::int64_t RunPreview::neededBytes() const {
    std::int64_t need = 0;
    for (const auto& crate : crates)
        need += crate.bytesToCopy + crate.allocationSlack;
    return need;
}

bool RunPreview::fits() const {
    return !freeBytes || neededBytes() <= *freeBytes;
}

std::int64_t RunPreview::allocatedSize(std::int64_t bytes, std::int64_t unit) {
    if (unit <= 1 || bytes <= 0) return std::max<std::int64_t>(bytes, 0);
    return (bytes + unit - 1) / unit * unit;
}

std::string RunPreview::notEnoughSpaceText() const {
    const auto bytes = [](std::int64_t count) {
        return text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0)));
    };
    return "Not enough space on " + drive + ": " + bytes(neededBytes()) + " needed, " +
           bytes(freeBytes.value_or(0)) + " free.";
}

void RunPreview::measureDestination(const std::filesystem::path& path) {
    destination = path;
    drive = platform::volumeName(path);
    // A destination not made yet will live on its nearest existing ancestor's volume.
    for (std::filesystem::path probe = path; !probe.empty(); probe = probe.parent_path()) {
        if ((freeBytes = platform::freeSpace(probe))) {
            allocationUnit = platform::allocationUnit(probe).value_or(1);
            return;
        }
        if (probe == probe.parent_path()) return;
    }
}

}  // namespace morrowdeck
