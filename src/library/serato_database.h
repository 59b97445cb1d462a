#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/read_report.h"

// Serato's tag/length/value chunk format and the "database V2" file built on it.
// Every function is pure and thread-safe; malformed input yields fewer results, never an
// error. Track records are carried as opaque bytes so that fields this program does not
// know pass through untouched.
namespace morrowdeck::SeratoDatabase {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline constexpr std::string_view databaseVersion = "2.0/Serato Scratch LIVE Database";

// tag (4 ASCII bytes) + big-endian 32-bit payload length + payload. Throws
// std::length_error for a payload of 4 GiB or more, which no caller builds.
Bytes chunk(std::string_view tag, ByteView payload);

// Appends one chunk to out (same layout as chunk).
void appendChunk(Bytes& out, std::string_view tag, ByteView payload);

// Appends a UTF-16BE text chunk when the value is present and not empty.
void str(Bytes& out, std::string_view tag, const std::optional<std::string>& value);

// The value as 4 big-endian bytes.
std::array<std::uint8_t, 4> u32(std::uint32_t value);

// Reads a big-endian 32-bit value from the first 4 bytes (the caller checks the size).
inline std::uint32_t readU32(ByteView bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// Calls callback(tag, payload) for every complete top-level chunk, in order. A tag whose
// bytes are not all ASCII is passed as "". The walk stops at the first chunk whose declared
// length runs past the end; what was delivered before it stands. The payload view is only
// valid during the call.
template <typename Callback>
void eachChunk(ByteView data, Callback&& callback) {
    std::size_t position = 0;
    while (data.size() - position >= 8) {
        const std::uint8_t* head = data.data() + position;
        const bool ascii = (head[0] | head[1] | head[2] | head[3]) < 0x80;
        const std::string_view tag =
            ascii ? std::string_view(reinterpret_cast<const char*>(head), 4) : std::string_view();
        const std::uint64_t length = readU32(data.subspan(position + 4, 4));
        if (length > data.size() - position - 8) return;
        callback(tag, data.subspan(position + 8, static_cast<std::size_t>(length)));
        position += 8 + static_cast<std::size_t>(length);
    }
}

// The number of leading bytes that eachChunk walks: everything up to the end of the last
// complete chunk. What follows (a truncated chunk, a stray byte) is never read.
std::size_t completeChunksLength(ByteView data);

// A complete database V2 file: the version chunk, then one "otrk" chunk per record.
Bytes data(const std::vector<Bytes>& records);

// The existing database V2 file with restored records merged in: every chunk of the file
// stays in place byte for byte, except that a record whose "pfil" path is canonically
// equivalent to a restored record's path takes that record (every such record, so none is
// dropped); restored records with new paths follow in their order. Among restored records
// for one path the last wins. An incomplete tail of the file is dropped (records appended
// after it could not be read); a file without a complete chunk gives data(records).
Bytes merge(ByteView existingDatabase, const std::vector<Bytes>& records);

// ---- Track records and the library snapshot ----

// The values a new track record is built from.
struct Entry {
    std::string path;  // volume-relative path of the audio file
    std::string ext;   // lower-case extension without the dot
    std::uint32_t added = 0;
    std::uint32_t mtime = 0;
    std::uint32_t sizeBytes = 0;  // 0 when unknown
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<std::string> genre;
    std::optional<std::string> bpm;
    std::optional<std::string> key;
    std::optional<std::string> length;
    std::optional<std::string> year;
    std::optional<std::string> bitrate;
    std::optional<std::string> sampleRate;
    std::optional<std::string> sizeStr;
};

// One record of database V2 with the path read from its first decodable "pfil".
struct Record {
    std::string path;
    Bytes record;
};

// A stored file's backup-relative path with its database record.
struct SnapshotPair {
    std::string relPath;
    Bytes record;
};

// The path in the first "pfil" chunk of the record that decodes as UTF-16BE.
std::optional<std::string> pfil(ByteView record);

// Every "otrk" of a database V2 file that has a decodable "pfil", in file order. `report`,
// when given, tells how much was read; a record without a decodable "pfil" is unreadable.
std::vector<Record> records(ByteView database, ReadReport* report = nullptr);

// The record with every "pfil" chunk replaced by the new path; a record without one gets
// the path as its new first chunk. All other chunks are copied byte for byte.
Bytes record(ByteView record, std::string_view settingPath);

// A new record from tag values, with Serato's field order and flags.
Bytes record(const Entry& entry);

// The library snapshot file: "bkrp" relPath then "otrk" record for each pair; no header.
Bytes snapshot(const std::vector<SnapshotPair>& pairs);

// relPath -> record from a snapshot file; a later record for the same path wins.
std::map<std::string, Bytes> parseSnapshot(ByteView snapshotData);

}  // namespace morrowdeck::SeratoDatabase
