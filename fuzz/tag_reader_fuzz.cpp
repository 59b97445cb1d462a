// Parses arbitrary bytes as audio files through TagLib, the first byte choosing the file
// kind by extension (the last choice leaves it to TagLib's content detection), and runs the
// tag rules over whatever comes out. Nothing may crash, and the texts keep their shapes.
#include <taglib/tbytevectorstream.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "library/tag_reader.h"

using namespace morrowdeck;

namespace {

// An in-memory stream whose name carries the extension TagLib picks its parser by.
class NamedStream : public TagLib::ByteVectorStream {
  public:
    NamedStream(const TagLib::ByteVector& data, std::string name)
        : TagLib::ByteVectorStream(data), name_(std::move(name)) {}
    TagLib::FileName name() const override { return name_.c_str(); }

  private:
    std::string name_;
};

constexpr std::array<const char*, 15> kExtensions{"mp3", "m4a",  "flac", "ogg", "opus",
                                                  "wav", "aiff", "wma",  "ape", "wv",
                                                  "mpc", "tta",  "spx",  "oga", "bin"};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "mm:ss.hh" with at least two minute digits and seconds below 60.
bool isLength(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 || text.size() != colon + 6) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == colon || i == colon + 3) continue;
        if (!isDigit(text[i])) return false;
    }
    return text[colon + 3] == '.' && text[colon + 1] < '6';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const char* ext = kExtensions[data[0] % kExtensions.size()];
    NamedStream stream(TagLib::ByteVector(reinterpret_cast<const char*>(data + 1),
                                          static_cast<unsigned int>(size - 1)),
                       std::string("fuzz.") + ext);
    SeratoDatabase::Entry entry;
    SeratoDatabase::detail::readStreamTags(entry, stream);
    if (entry.length && !isLength(*entry.length)) std::abort();
    if (entry.bitrate && !entry.bitrate->ends_with("kbps")) std::abort();
    if (entry.sampleRate && entry.sampleRate->back() != 'k') std::abort();
    if (entry.year && entry.year->size() > 16) std::abort();  // four characters at most
    return 0;
}
