#include "engine/metadata_file.h"

#include <cerrno>

#include "library/formatting.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"

namespace morrowdeck {

std::optional<std::vector<std::uint8_t>> readMetadataFile(const std::filesystem::path& file,
                                                          std::string& warning) {
    std::vector<std::uint8_t> bytes;
    const int error = platform::readFileAtMost(file, maxMetadataBytes, bytes);
    if (error == 0) return bytes;
    if (error == ENOENT || error == ENOTDIR) return std::nullopt;
    warning = "Skipped " + file.native() + ": " +
              (error == EFBIG ? "it is larger than the " + text::formatByteCount(maxMetadataBytes) +
                                    " such a file can be"
               : error == EINVAL ? std::string("it is not a regular file")
                                 : platform::errorText(error)) +
              "; going on without it.";
    return std::nullopt;
}

}  // namespace morrowdeck
