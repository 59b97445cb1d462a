#include "library/crate_writer.h"

#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "platform/path_text.h"

namespace morrowdeck::CrateWriter {

void append(std::vector<std::uint8_t>& out, std::string_view tag,
            std::span<const std::uint8_t> payload) {
    SeratoDatabase::appendChunk(out, tag, payload);
}

std::vector<std::uint8_t> crateData(const std::vector<std::string>& volumeRelativePaths) {
    return appendTracks({}, volumeRelativePaths);
}

std::string volumeRelativePath(const std::filesystem::path& file, std::string_view volumePrefix) {
    return volumeRelativeText(platform::toUtf8(file), volumePrefix);
}

std::string volumeRelativeText(std::string_view path, std::string_view volumePrefix) {
    // The prefix must end at a path component: /Volumes/USB2/a.mp3 is not on /Volumes/USB.
    if (!volumePrefix.empty() && path.starts_with(volumePrefix) &&
        (path.size() == volumePrefix.size() || path[volumePrefix.size()] == '/' ||
         volumePrefix.ends_with('/'))) {
        path.remove_prefix(volumePrefix.size());
    }
    const std::size_t start = path.find_first_not_of('/');
    return start == std::string_view::npos ? std::string() : std::string(path.substr(start));
}

}  // namespace morrowdeck::CrateWriter
