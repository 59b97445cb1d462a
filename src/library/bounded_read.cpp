#include "library/bounded_read.h"

#include <cerrno>

#include "library/formatting.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"

namespace morrowdeck {

std::string unreadableReason(int error, std::uint64_t maxBytes) {
    if (error == EFBIG)
        return "it is larger than the " + text::formatByteCount(maxBytes) + " such a file can be";
    if (error == EINVAL) return "it is not a regular file";
    return platform::errorText(error);
}

std::optional<std::vector<std::uint8_t>> readBoundedFile(const std::filesystem::path& file,
                                                         std::uint64_t maxBytes,
                                                         std::string& reason) {
    std::vector<std::uint8_t> bytes;
    const int error = platform::readFileAtMost(file, maxBytes, bytes);
    if (error == 0) return bytes;
    if (error != ENOENT && error != ENOTDIR) reason = unreadableReason(error, maxBytes);
    return std::nullopt;
}

}  // namespace morrowdeck
