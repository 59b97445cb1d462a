#include "library/tag_reader.h"

#include <taglib/aifffile.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mp4properties.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <exception>
#include <memory>

#include "library/tag_content.h"
#include "library/tag_file_stream.h"
#include "library/tag_items.h"
#include "library/taglib_items.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"

namespace morrowdeck::SeratoDatabase {

namespace {

std::string lowerExtension(const std::filesystem::path& path) {
    std::string ext = platform::toUtf8(path.extension());
    if (!ext.empty()) ext.erase(0, 1);  // the dot
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

// TagLib names a stream's file by a plain string on POSIX and by a class on Windows.
std::string nameText(const char* name) {
    return name ? name : "";
}
template <typename Name>
std::string nameText(const Name& name) {
    return name.toString().to8Bit(true);
}

// The extension of the file a stream reads: ours knows its UTF-8 path; others say what
// TagLib's name of them holds.
std::string streamExtension(TagLib::IOStream& stream) {
    if (const auto* file = dynamic_cast<const TagFileStream*>(&stream))
        return lowerExtension(platform::toPath(file->nameText()));
    return lowerExtension(platform::toPath(nameText(stream.name())));
}

std::uint64_t bigEndian(const TagLib::ByteVector& bytes, unsigned offset, unsigned count) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

// The payload range of the first atom of the given type between begin and end.
std::optional<std::pair<long, long>> findAtom(TagLib::IOStream& stream, long begin, long end,
                                              std::string_view type) {
    long position = begin;
    while (position >= 0 && end - position >= 8) {
        stream.seek(position);
        const TagLib::ByteVector header = stream.readBlock(16);
        if (header.size() < 8) return std::nullopt;
        std::uint64_t size = bigEndian(header, 0, 4);
        long headerSize = 8;
        if (size == 1) {  // 64-bit size follows the type
            if (header.size() < 16) return std::nullopt;
            size = bigEndian(header, 8, 8);
            headerSize = 16;
        } else if (size == 0) {  // runs to the end of the enclosing range
            size = static_cast<std::uint64_t>(end - position);
        }
        if (size < static_cast<std::uint64_t>(headerSize) ||
            size > static_cast<std::uint64_t>(end - position))
            return std::nullopt;
        const long atomEnd = position + static_cast<long>(size);
        if (std::string_view(header.data() + 4, 4) == type)
            return std::pair{position + headerSize, atomEnd};
        position = atomEnd;
    }
    return std::nullopt;
}

// The duration in the movie header (moov/mvhd). For AAC it leaves out the encoder's priming
// samples, which the track's media header counts.
std::optional<double> movieHeaderSeconds(TagLib::IOStream& stream) {
    const auto moov = findAtom(stream, 0, stream.length(), "moov");
    if (!moov) return std::nullopt;
    const auto mvhd = findAtom(stream, moov->first, moov->second, "mvhd");
    if (!mvhd) return std::nullopt;
    stream.seek(mvhd->first);
    const TagLib::ByteVector body = stream.readBlock(32);
    if (body.isEmpty()) return std::nullopt;
    const bool wide = body[0] == 1;  // version 1: 64-bit times and duration
    const unsigned timescaleAt = wide ? 20 : 12;
    const unsigned durationSize = wide ? 8 : 4;
    if (body.size() < timescaleAt + 4 + durationSize) return std::nullopt;
    const std::uint64_t timescale = bigEndian(body, timescaleAt, 4);
    const std::uint64_t duration = bigEndian(body, timescaleAt + 4, durationSize);
    const std::uint64_t unknown = wide ? ~std::uint64_t{0} : 0xFFFFFFFFu;
    if (timescale == 0 || duration == 0 || duration == unknown) return std::nullopt;
    return static_cast<double>(duration) / static_cast<double>(timescale);
}

// The kinds that take a frame factory are opened with the one that keeps genre frames as
// written; null for other kinds and for a file their parser rejects.
TagLib::File* openWithGenreFrames(TagLib::IOStream& stream) {
    constexpr auto style = TagLib::AudioProperties::Average;
    TagLib::ID3v2::FrameFactory* frames = detail::genreKeepingFrameFactory();
    const std::string ext = streamExtension(stream);
    std::unique_ptr<TagLib::File> file;
    if (ext == "mp3" || ext == "mp2" || ext == "aac")
        file = std::make_unique<TagLib::MPEG::File>(&stream, frames, true, style);
    else if (ext == "flac")
        file = std::make_unique<TagLib::FLAC::File>(&stream, frames, true, style);
    else if (ext == "tta")
        file = std::make_unique<TagLib::TrueAudio::File>(&stream, frames, true, style);
    return file && file->isValid() ? file.release() : nullptr;
}

bool hasAudio(const TagLib::File* file) {
    const TagLib::AudioProperties* properties = file ? file->audioProperties() : nullptr;
    return properties && properties->sampleRate() > 0;
}

// The stream opened as the given kind; null when `tried` is of that kind already (its parser
// has had its turn) and when the parser rejects the file.
template <typename Kind, typename... Options>
TagLib::File* openAs(TagLib::IOStream& stream, const TagLib::File* tried, Options... options) {
    if (dynamic_cast<const Kind*>(tried)) return nullptr;
    stream.seek(0);  // RIFF parsers start where the stream stands
    auto file = std::make_unique<Kind>(&stream, options...);
    return file->isValid() ? file.release() : nullptr;
}

// The stream opened by the kind its first bytes name, for a file whose extension names
// another one (a FLAC or an M4A called .mp3).
TagLib::File* openByContent(TagLib::IOStream& stream, const TagLib::File* tried) {
    using namespace TagLib;
    constexpr auto style = AudioProperties::Average;
    ID3v2::FrameFactory* frames = detail::genreKeepingFrameFactory();
    switch (detail::sniffAudioContent(stream)) {
        case detail::AudioContent::mpeg:
            return openAs<MPEG::File>(stream, tried, frames, true, style);
        case detail::AudioContent::flac:
            return openAs<FLAC::File>(stream, tried, frames, true, style);
        case detail::AudioContent::mp4:
            return openAs<MP4::File>(stream, tried, true, style);
        case detail::AudioContent::wav:
            return openAs<RIFF::WAV::File>(stream, tried, true, style);
        case detail::AudioContent::aiff:
            return openAs<RIFF::AIFF::File>(stream, tried, true, style);
        case detail::AudioContent::oggVorbis:
            return openAs<Ogg::Vorbis::File>(stream, tried, true, style);
        case detail::AudioContent::oggOpus:
            return openAs<Ogg::Opus::File>(stream, tried, true, style);
        case detail::AudioContent::oggFlac:
            return openAs<Ogg::FLAC::File>(stream, tried, true, style);
        case detail::AudioContent::oggSpeex:
            return openAs<Ogg::Speex::File>(stream, tried, true, style);
        case detail::AudioContent::unknown:
            break;
    }
    return nullptr;
}

AudioFacts audioFacts(TagLib::File& file, TagLib::IOStream& stream) {
    AudioFacts facts;
    const TagLib::AudioProperties* properties = file.audioProperties();
    if (!properties) return facts;
    facts.hasAudioTrack = true;
    if (properties->lengthInMilliseconds() > 0)
        facts.durationSeconds = properties->lengthInMilliseconds() / 1000.0;
    if (properties->bitrate() > 0) facts.bitRate = properties->bitrate() * 1000.0;
    if (properties->sampleRate() > 0) facts.sampleRate = properties->sampleRate();
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file);
        mp4 && mp4->audioProperties()->codec() == TagLib::MP4::Properties::AAC) {
        if (const auto seconds = movieHeaderSeconds(stream)) facts.durationSeconds = seconds;
    }
    return facts;
}

}  // namespace

namespace detail {

void readStreamTags(Entry& entry, TagLib::IOStream& stream) {
    // TagLib reports failures through empty results; an allocation failure on a hostile
    // file is the one exception it can raise, and it only costs the tags.
    try {
        TagLib::FileRef file(openWithGenreFrames(stream));
        if (file.isNull()) file = TagLib::FileRef(&stream, true, TagLib::AudioProperties::Average);
        if (!hasAudio(file.file())) {
            // The extension's parser found no sound: the name may lie. The parser the content
            // names gets a turn, with the searches' budget renewed, as the first parser may
            // have spent it hunting for frames.
            if (auto* bounded = dynamic_cast<TagFileStream*>(&stream)) bounded->restartSearch();
            TagLib::FileRef byContent(openByContent(stream, file.file()));
            if (hasAudio(byContent.file())) file = byContent;
        }
        if (file.isNull()) return;
        const std::vector<TagItem> items = mainTagItems(*file.file());
        applyTags(entry, items, items, audioFacts(*file.file(), stream));
    } catch (const std::exception&) {
    }
}

}  // namespace detail

Entry readTags(const std::filesystem::path& path) {
    Entry entry;
    entry.ext = lowerExtension(path);
    const auto info = platform::fileInfo(path);
    if (!info) return entry;  // missing, or not a regular file: never opened
    if (info->size > 0) applySize(entry, static_cast<std::uint64_t>(info->size));
    TagFileStream stream(path, tagSearchBudget, tagBlockBudget);
    if (stream.isOpen()) detail::readStreamTags(entry, stream);
    return entry;
}

}  // namespace morrowdeck::SeratoDatabase
