#pragma once

namespace TagLib {
class IOStream;
}

namespace morrowdeck::SeratoDatabase::detail {

// The kind of audio file the first bytes of a stream name, whatever the file is called.
enum class AudioContent {
    unknown,
    mpeg,
    flac,
    mp4,
    wav,
    aiff,
    oggVorbis,
    oggOpus,
    oggFlac,
    oggSpeex
};

// Looks at the magic bytes at the start of the stream, or right after an ID3v2 tag there
// ("fLaC", "ftyp" at offset 4, "RIFF....WAVE", "FORM....AIFF", the first packet of an Ogg
// stream); an ID3v2 tag ahead of nothing else known, or an MPEG frame sync, names MPEG. Reads
// a few small blocks through the stream, so its read budget holds.
AudioContent sniffAudioContent(TagLib::IOStream& stream);

}  // namespace morrowdeck::SeratoDatabase::detail
