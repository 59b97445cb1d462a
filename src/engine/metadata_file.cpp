#include "engine/metadata_file.h"

#include "platform/path_text.h"

namespace morrowdeck {

std::optional<std::vector<std::uint8_t>> readMetadataFile(const std::filesystem::path& file,
                                                          std::string& warning,
                                                          std::uint64_t maxBytes) {
    std::string reason;
    auto bytes = readBoundedFile(file, maxBytes, reason);
    if (!reason.empty())
        warning = "Skipped " + platform::toUtf8(file) + ": " + reason + "; going on without it.";
    return bytes;
}

}  // namespace morrowdeck
