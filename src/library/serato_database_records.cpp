// Track records of database V2 and the library snapshot file.
#include <string>

#include "library/serato_database.h"
#include "library/text_encoding.h"

namespace morrowdeck::SeratoDatabase {

std::optional<std::string> pfil(ByteView record) {
    std::optional<std::string> path;
    eachChunk(record, [&](std::string_view tag, ByteView payload) {
        if (!path && tag == "pfil") path = text::decodeUtf16BE(payload);
    });
    return path;
}

std::vector<Record> records(ByteView database, ReadReport* report) {
    std::vector<Record> list;
    ReadReport read;
    read.totalBytes = database.size();
    eachChunk(database, [&](std::string_view tag, ByteView payload) {
        if (read.usedBytes == 0) read.header = tag == "vrsn";
        read.usedBytes = static_cast<std::size_t>(payload.data() + payload.size() - database.data());
        if (tag != "otrk") return;
        if (auto path = pfil(payload)) {
            list.push_back({std::move(*path), Bytes(payload.begin(), payload.end())});
        } else {
            ++read.unreadable;
        }
    });
    read.read = list.size();
    if (report != nullptr) *report = read;
    return list;
}

Bytes record(ByteView original, std::string_view settingPath) {
    const Bytes newPath = text::encodeUtf16BE(settingPath);
    Bytes out;
    out.reserve(original.size() + newPath.size() + 8);
    bool replaced = false;
    eachChunk(original, [&](std::string_view tag, ByteView payload) {
        if (tag == "pfil") {
            appendChunk(out, "pfil", newPath);
            replaced = true;
            return;
        }
        // Copy the chunk exactly as it stands, tag bytes included (a non-ASCII tag is
        // reported as "" but must pass through unchanged).
        const std::uint8_t* start = payload.data() - 8;
        out.insert(out.end(), start, payload.data() + payload.size());
    });
    if (replaced) return out;
    Bytes withPath = chunk("pfil", newPath);
    withPath.insert(withPath.end(), out.begin(), out.end());
    return withPath;
}

Bytes record(const Entry& entry) {
    Bytes out;
    appendChunk(out, "ttyp", text::encodeUtf16BE(entry.ext));
    appendChunk(out, "pfil", text::encodeUtf16BE(entry.path));
    str(out, "tsng", entry.title);
    str(out, "tart", entry.artist);
    str(out, "talb", entry.album);
    str(out, "tgen", entry.genre);
    str(out, "tlen", entry.length);
    str(out, "tsiz", entry.sizeStr);
    str(out, "tbit", entry.bitrate);
    str(out, "tsmp", entry.sampleRate);
    str(out, "tbpm", entry.bpm);
    str(out, "ttyr", entry.year);
    appendChunk(out, "tadd", text::encodeUtf16BE(std::to_string(entry.added)));
    str(out, "tkey", entry.key);
    appendChunk(out, "uadd", u32(entry.added));
    appendChunk(out, "utme", u32(entry.mtime));
    if (entry.sizeBytes != 0) appendChunk(out, "ufsb", u32(entry.sizeBytes));
    appendChunk(out, "utpc", u32(0));
    static constexpr std::string_view flags[] = {"bhrt", "bmis", "bply", "blop", "bitu",
                                                 "bovc", "bcrt", "biro", "bwlb", "bwll",
                                                 "buns", "bbgl", "bkrk"};
    const std::uint8_t zero = 0;
    for (const auto flag : flags)
        appendChunk(out, flag, ByteView(&zero, 1));
    return out;
}

Bytes snapshot(const std::vector<SnapshotPair>& pairs) {
    Bytes out;
    for (const auto& pair : pairs) {
        appendChunk(out, "bkrp", text::encodeUtf16BE(pair.relPath));
        appendChunk(out, "otrk", pair.record);
    }
    return out;
}

std::map<std::string, Bytes> parseSnapshot(ByteView snapshotData) {
    std::map<std::string, Bytes> map;
    std::optional<std::string> pending;
    eachChunk(snapshotData, [&](std::string_view tag, ByteView payload) {
        if (tag == "bkrp") {
            pending = text::decodeUtf16BE(payload);
        } else if (tag == "otrk" && pending) {
            map[std::move(*pending)] = Bytes(payload.begin(), payload.end());
            pending.reset();
        }
    });
    return map;
}

}  // namespace morrowdeck::SeratoDatabase
