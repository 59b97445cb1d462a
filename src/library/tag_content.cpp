#include "library/tag_content.h"

#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

namespace morrowdeck::SeratoDatabase::detail {

namespace {

TagLib::ByteVector readAt(TagLib::IOStream& stream, long offset, unsigned long length) {
    stream.seek(offset);
    return stream.tell() == offset ? stream.readBlock(length) : TagLib::ByteVector();
}

bool has(const TagLib::ByteVector& bytes, unsigned offset, const char* magic, unsigned size) {
    return bytes.containsAt(TagLib::ByteVector(magic, size), offset);
}

unsigned byteAt(const TagLib::ByteVector& bytes, unsigned index) {
    return static_cast<unsigned char>(bytes[index]);
}

// The codec of an Ogg stream, from the first packet of the page at `page`: it follows the
// 27-byte page header and the page's segment table.
AudioContent oggContent(TagLib::IOStream& stream, long page, const TagLib::ByteVector& head) {
    if (head.size() < 27) return AudioContent::unknown;
    const TagLib::ByteVector packet = readAt(stream, page + 27 + byteAt(head, 26), 8);
    if (has(packet, 0, "\x01vorbis", 7)) return AudioContent::oggVorbis;
    if (has(packet, 0, "OpusHead", 8)) return AudioContent::oggOpus;
    if (has(packet, 0, "\177FLAC", 5)) return AudioContent::oggFlac;
    if (has(packet, 0, "Speex   ", 8)) return AudioContent::oggSpeex;
    return AudioContent::unknown;
}

}  // namespace

AudioContent sniffAudioContent(TagLib::IOStream& stream) {
    constexpr unsigned long headSize = 32;
    long start = 0;
    TagLib::ByteVector head = readAt(stream, start, headSize);
    const bool id3 = head.size() >= 10 && has(head, 0, "ID3", 3);
    if (id3) {
        // The tag's size is four 7-bit bytes; a footer flag adds ten bytes after it.
        long size = 0;
        for (unsigned i = 6; i < 10; ++i)
            size = (size << 7) | (byteAt(head, i) & 0x7F);
        start = 10 + size + ((byteAt(head, 5) & 0x10) ? 10 : 0);
        head = readAt(stream, start, headSize);
    }
    if (has(head, 0, "fLaC", 4)) return AudioContent::flac;
    if (has(head, 4, "ftyp", 4)) return AudioContent::mp4;
    if (has(head, 0, "RIFF", 4) && has(head, 8, "WAVE", 4)) return AudioContent::wav;
    if (has(head, 0, "FORM", 4) && (has(head, 8, "AIFF", 4) || has(head, 8, "AIFC", 4)))
        return AudioContent::aiff;
    if (has(head, 0, "OggS", 4)) return oggContent(stream, start, head);
    const bool frameSync =
        head.size() >= 2 && byteAt(head, 0) == 0xFF && (byteAt(head, 1) & 0xE0) == 0xE0;
    return id3 || frameSync ? AudioContent::mpeg : AudioContent::unknown;
}

}  // namespace morrowdeck::SeratoDatabase::detail
