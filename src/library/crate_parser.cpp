#include "library/crate_parser.h"

#include "library/serato_database.h"
#include "library/text_encoding.h"

namespace morrowdeck::CrateParser {

namespace {

// Calls visit(stored) for every decodable "ptrk" of every "otrk" that names a file, in file
// order: an empty path or one made only of separators ("/") names the volume, not a track.
// A path holding U+0000 is undecodable: no file name can hold it, and the system would read
// the path only up to it, so two such entries would silently share one file.
// The string is a reused buffer, valid during the call. Returns how much was read.
template <typename Visit>
ReadReport eachStoredPath(std::span<const std::uint8_t> crate, Visit&& visit) {
    ReadReport report;
    report.totalBytes = crate.size();
    std::string stored;
    SeratoDatabase::eachChunk(
        crate, [&](std::string_view tag, std::span<const std::uint8_t> track) {
            if (report.usedBytes == 0) report.header = tag == "vrsn";
            report.usedBytes = static_cast<std::size_t>(track.data() + track.size() - crate.data());
            if (tag != "otrk") return;
            bool damaged = SeratoDatabase::completeChunksLength(track) != track.size();
            bool named = false;
            SeratoDatabase::eachChunk(
                track, [&](std::string_view field, std::span<const std::uint8_t> payload) {
                    if (field != "ptrk" || payload.empty()) return;
                    stored.clear();
                    if (!text::appendDecodedUtf16BE(stored, payload) ||
                        stored.find('\0') != std::string::npos) {
                        damaged = true;
                        return;
                    }
                    named = true;
                    if (stored.find_first_not_of('/') == std::string::npos) return;
                    ++report.read;
                    visit(stored);
                });
            if (damaged && !named) ++report.unreadable;
        });
    return report;
}

}  // namespace

std::vector<std::string> trackPaths(std::span<const std::uint8_t> crate,
                                    std::string_view volumePrefix, ReadReport* report) {
    std::vector<std::string> paths;
    const ReadReport read = eachStoredPath(crate, [&](const std::string& stored) {
        paths.push_back(absolutePath(stored, volumePrefix));
    });
    if (report != nullptr) *report = read;
    return paths;
}

std::vector<std::string> storedPaths(std::span<const std::uint8_t> crate) {
    std::vector<std::string> paths;
    eachStoredPath(crate, [&](const std::string& stored) { paths.push_back(stored); });
    return paths;
}

std::string absolutePath(std::string_view fromVolumeRelative, std::string_view volumePrefix) {
    const std::size_t start = fromVolumeRelative.find_first_not_of('/');
    const std::string_view rest =
        start == std::string_view::npos ? std::string_view() : fromVolumeRelative.substr(start);
    std::string path;
    path.reserve(volumePrefix.size() + 1 + rest.size());
    path.append(volumePrefix).append("/").append(rest);
    return path;
}

}  // namespace morrowdeck::CrateParser
