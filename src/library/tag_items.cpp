#include "library/tag_items.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <system_error>

#include "library/formatting.h"

namespace morrowdeck::SeratoDatabase {

namespace {

// Fixed-point text with a full stop whatever the process locale (to_chars ignores it).
std::optional<std::string> fixed(double value, int decimals, std::string_view suffix = {}) {
    if (!std::isfinite(value)) return std::nullopt;
    std::array<char, 400> buffer;  // room for the largest double in fixed notation
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc{}) return std::nullopt;
    std::string out(buffer.data(), end);
    out += suffix;
    return out;
}

bool contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The first four characters (code points) of UTF-8 text, never cutting a character in half.
std::string yearPrefix(std::string_view text) {
    std::size_t end = 0;
    for (int count = 0; end < text.size() && count < 4; ++count) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
    }
    return std::string(text.substr(0, end));
}

bool hasText(const std::optional<std::string>& text) {
    return text && !text->empty();
}

void applyDuration(Entry& entry, const AudioFacts& facts) {
    if (facts.durationSeconds)
        if (auto length = formatLength(*facts.durationSeconds)) entry.length = std::move(length);
}

void applyCommonItems(Entry& entry, std::span<const TagItem> items) {
    for (const TagItem& item : items) {
        if (!item.commonKey || !hasText(item.text)) continue;
        const std::string& key = *item.commonKey;
        if (key == "title") {
            entry.title = item.text;
        } else if (key == "artist") {
            entry.artist = item.text;
        } else if (key == "albumName") {
            entry.album = item.text;
        } else if (key == "type") {
            if (!entry.genre) entry.genre = item.text;
        } else if (key == "creationDate") {
            if (!entry.year) entry.year = yearPrefix(*item.text);
        }
    }
}

void applyFormatItems(Entry& entry, std::span<const TagItem> items) {
    for (const TagItem& item : items) {
        const std::string_view id = item.identifier;
        const std::string lid = asciiLower(id);
        if (contains(id, "TBPM") || contains(lid, "beatsperminute") || contains(id, "tmpo")) {
            // A number that cannot be shown (infinite, NaN) counts as no number.
            std::optional<std::string> bpm = item.number ? formatBpm(*item.number) : std::nullopt;
            if (!bpm && item.text)
                if (const auto parsed = parseNumber(*item.text)) bpm = formatBpm(*parsed);
            if (bpm) entry.bpm = std::move(bpm);
        } else if (contains(id, "TKEY") || contains(lid, "initialkey")) {
            if (!entry.key && hasText(item.text)) entry.key = item.text;
        } else if (contains(id, "TCON") && !entry.genre) {
            // An empty genre is kept: it stops later genre frames from filling the field.
            if (item.text) entry.genre = item.text;
        } else if (contains(id, "TYER") || contains(id, "TDRC")) {
            if (!entry.year && item.text) entry.year = yearPrefix(*item.text);
        }
    }
}

void applyAudio(Entry& entry, const AudioFacts& facts) {
    if (!facts.hasAudioTrack) return;
    if (facts.bitRate)
        if (auto bitrate = formatBitrate(*facts.bitRate)) entry.bitrate = std::move(bitrate);
    if (facts.sampleRate)
        if (auto rate = formatSampleRate(*facts.sampleRate)) entry.sampleRate = std::move(rate);
}

}  // namespace

void applyTags(Entry& entry, std::span<const TagItem> commonItems,
               std::span<const TagItem> formatItems, const AudioFacts& facts) {
    applyDuration(entry, facts);
    applyCommonItems(entry, commonItems);
    applyFormatItems(entry, formatItems);
    applyAudio(entry, facts);
}

void applySize(Entry& entry, std::optional<std::uint64_t> size) {
    if (!size || *size == 0) return;
    entry.sizeBytes = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(*size, std::numeric_limits<std::uint32_t>::max()));
    std::string text = text::formatByteCount(*size);
    std::erase(text, ' ');
    entry.sizeStr = std::move(text);
}

std::optional<std::string> formatLength(double seconds) {
    // Past 10^15 s no real duration exists and the hundredths would overflow.
    if (!std::isfinite(seconds) || seconds <= 0 || seconds >= 1e15) return std::nullopt;
    // Rounding before the split keeps 179.996 s from reading "02:60.00".
    const auto hundredths = static_cast<std::int64_t>(std::nearbyint(seconds * 100));
    const std::int64_t minutes = hundredths / 6000;
    const std::int64_t rest = hundredths % 6000;
    std::array<char, 48> buffer;
    std::snprintf(buffer.data(), buffer.size(), "%02" PRId64 ":%02" PRId64 ".%02" PRId64, minutes,
                  rest / 100, rest % 100);
    return std::string(buffer.data());
}

std::optional<std::string> formatBpm(double bpm) {
    return fixed(bpm, 2);
}

std::optional<std::string> formatBitrate(double bitsPerSecond) {
    if (!(bitsPerSecond > 0)) return std::nullopt;
    return fixed(bitsPerSecond / 1000, 1, "kbps");
}

std::optional<std::string> formatSampleRate(double hertz) {
    if (!(hertz > 0)) return std::nullopt;
    return fixed(hertz / 1000, 1, "k");
}

std::optional<double> parseNumber(std::string_view text) {
    // A plus sign before the number is part of the literal ("+128"); from_chars takes none.
    if (text.starts_with('+') && text.size() > 1 && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace morrowdeck::SeratoDatabase
