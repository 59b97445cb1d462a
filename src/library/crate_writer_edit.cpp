// Edits of existing crate files that keep everything Serato wrote around the track paths.
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/text_encoding.h"

namespace morrowdeck::CrateWriter {

namespace {

using SeratoDatabase::ByteView;

// The whole chunk (header and payload) around a payload delivered by eachChunk.
ByteView wholeChunk(ByteView payload) {
    return ByteView(payload.data() - 8, payload.size() + 8);
}

void appendBytes(std::vector<std::uint8_t>& out, ByteView bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// One "otrk" payload with its "ptrk" texts mapped; false when nothing changed.
bool rewriteTrack(ByteView track, const TrackPathMapping& mapping, std::vector<std::uint8_t>& out) {
    bool changed = false;
    std::string stored;
    SeratoDatabase::eachChunk(track, [&](std::string_view tag, ByteView payload) {
        stored.clear();
        if (tag == "ptrk" && !payload.empty() && text::appendDecodedUtf16BE(stored, payload)) {
            if (auto mapped = mapping(stored)) {
                append(out, "ptrk", text::encodeUtf16BE(*mapped));
                changed = true;
                return;
            }
        }
        appendBytes(out, wholeChunk(payload));
    });
    appendBytes(out, track.subspan(SeratoDatabase::completeChunksLength(track)));
    return changed;
}

// One "otrk" record holding one "ptrk" per path.
void appendRecords(std::vector<std::uint8_t>& out, const std::vector<std::string>& paths) {
    std::vector<std::uint8_t> track;
    for (const auto& path : paths) {
        track.clear();
        append(track, "ptrk", text::encodeUtf16BE(path));
        append(out, "otrk", track);
    }
}

}  // namespace

std::vector<std::uint8_t> rewriteTrackPaths(std::span<const std::uint8_t> crate,
                                            const TrackPathMapping& mapping) {
    std::vector<std::uint8_t> out;
    out.reserve(crate.size());
    std::vector<std::uint8_t> track;
    SeratoDatabase::eachChunk(crate, [&](std::string_view tag, ByteView payload) {
        track.clear();
        if (tag == "otrk" && rewriteTrack(payload, mapping, track))
            append(out, "otrk", track);
        else
            appendBytes(out, wholeChunk(payload));
    });
    appendBytes(out, crate.subspan(SeratoDatabase::completeChunksLength(crate)));
    return out;
}

std::vector<std::uint8_t> appendTracks(std::span<const std::uint8_t> crate,
                                       const std::vector<std::string>& volumeRelativePaths) {
    const std::size_t kept = SeratoDatabase::completeChunksLength(crate);
    std::vector<std::uint8_t> out;
    if (kept == 0)
        append(out, "vrsn", text::encodeUtf16BE(crateVersion));
    else
        out.assign(crate.begin(), crate.begin() + static_cast<std::ptrdiff_t>(kept));
    appendRecords(out, volumeRelativePaths);
    return out;
}

std::vector<std::uint8_t> replaceTracks(std::span<const std::uint8_t> crate,
                                        const std::vector<std::string>& volumeRelativePaths) {
    // Nothing of a crate file to keep: a new one.
    if (SeratoDatabase::completeChunksLength(crate) == 0) return crateData(volumeRelativePaths);
    std::vector<std::uint8_t> records;
    appendRecords(records, volumeRelativePaths);
    std::vector<std::uint8_t> out;
    out.reserve(crate.size() + records.size());
    bool placed = false;
    SeratoDatabase::eachChunk(crate, [&](std::string_view tag, ByteView payload) {
        if (tag != "otrk") return appendBytes(out, wholeChunk(payload));
        if (!placed) appendBytes(out, records);
        placed = true;
    });
    if (!placed) appendBytes(out, records);
    appendBytes(out, crate.subspan(SeratoDatabase::completeChunksLength(crate)));
    return out;
}

}  // namespace morrowdeck::CrateWriter
