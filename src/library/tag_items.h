#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "library/serato_database.h"

// The tag-reading rules as a pure function: whatever library parses the audio file hands over
// a list of metadata items and a few audio facts, and these functions turn them into the
// formatted text fields of a track record. Keeping the rules apart from the parser makes every
// precedence case testable on plain item lists.
namespace morrowdeck::SeratoDatabase {

// One metadata item of an audio file. `identifier` names the raw frame or atom (for example
// "id3/TBPM", "itsk/tmpo", "vorb/INITIALKEY"); `commonKey` is one of "title", "artist",
// "albumName", "type", "creationDate" for the format-independent fields. A value that could
// not be read is absent.
struct TagItem {
    std::string identifier;
    std::optional<std::string> commonKey;
    std::optional<std::string> text;
    std::optional<double> number;
};

// What the parser found out about the sound itself.
struct AudioFacts {
    std::optional<double> durationSeconds;
    std::optional<double> bitRate;     // bits per second
    std::optional<double> sampleRate;  // Hz
    bool hasAudioTrack = false;
};

// Fills the entry's length, title, artist, album, genre, year, bpm, key, bitrate and
// sampleRate from the facts and items. Common items set the format-independent fields
// (a later title, artist or album wins; the first genre and year win); format items then
// fill tempo (the last one wins), key (the first non-empty one wins), and genre and year
// where still absent. Fields that nothing reaches keep their value.
void applyTags(Entry& entry, std::span<const TagItem> commonItems,
               std::span<const TagItem> formatItems, const AudioFacts& facts);

// sizeBytes (saturated at 4294967295) and sizeStr ("5.2MB") for a known size of at least one
// byte; nothing otherwise.
void applySize(Entry& entry, std::optional<std::uint64_t> size);

// "mm:ss.ss" for a finite positive duration, rounded to hundredths before it is split, so
// 179.996 s reads "03:00.00"; absent otherwise.
std::optional<std::string> formatLength(double seconds);

// "128.00"; absent for a non-finite tempo.
std::optional<std::string> formatBpm(double bpm);

// "320.0kbps" for a rate in bits per second; absent unless greater than 0.
std::optional<std::string> formatBitrate(double bitsPerSecond);

// "44.1k" for a rate in Hz; absent unless greater than 0.
std::optional<std::string> formatSampleRate(double hertz);

// The number a whole text spells as a decimal or scientific literal, with an optional sign
// and no surrounding spaces; absent for anything else, and for infinities and NaN.
std::optional<double> parseNumber(std::string_view text);

}  // namespace morrowdeck::SeratoDatabase
