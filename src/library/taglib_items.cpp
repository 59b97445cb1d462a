#include "library/taglib_items.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/asfattribute.h>
#include <taglib/asftag.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4item.h>
#include <taglib/mp4tag.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace morrowdeck::SeratoDatabase::detail {

namespace {

using Items = std::vector<TagItem>;

std::string utf8(const TagLib::String& text) {
    return text.to8Bit(true);
}

// Tag field name -> common key, per tag kind.
struct CommonName {
    std::string_view field;
    std::string_view key;
};
using CommonNames = std::array<CommonName, 5>;

constexpr CommonNames id3Names{{{"TIT2", "title"},
                                {"TPE1", "artist"},
                                {"TALB", "albumName"},
                                {"TCON", "type"},
                                {"TDRC", "creationDate"}}};
constexpr CommonNames mp4Names{{{"\xA9nam", "title"},
                                {"\xA9"
                                 "ART",
                                 "artist"},
                                {"\xA9"
                                 "alb",
                                 "albumName"},
                                {"\xA9gen", "type"},
                                {"\xA9"
                                 "day",
                                 "creationDate"}}};
constexpr CommonNames xiphNames{{{"TITLE", "title"},
                                 {"ARTIST", "artist"},
                                 {"ALBUM", "albumName"},
                                 {"GENRE", "type"},
                                 {"DATE", "creationDate"}}};
constexpr CommonNames apeNames{{{"TITLE", "title"},
                                {"ARTIST", "artist"},
                                {"ALBUM", "albumName"},
                                {"GENRE", "type"},
                                {"YEAR", "creationDate"}}};
constexpr CommonNames asfNames{{{"Title", "title"},
                                {"Author", "artist"},
                                {"WM/AlbumTitle", "albumName"},
                                {"WM/Genre", "type"},
                                {"WM/Year", "creationDate"}}};
constexpr CommonNames infoNames{{{"INAM", "title"},
                                 {"IART", "artist"},
                                 {"IPRD", "albumName"},
                                 {"IGNR", "type"},
                                 {"ICRD", "creationDate"}}};

std::optional<std::string> commonKey(const CommonNames& names, std::string_view field) {
    for (const auto& name : names)
        if (name.field == field) return std::string(name.key);
    return std::nullopt;
}

// The ID genre frames are filed under by genreKeepingFrameFactory: lower case never occurs in
// a frame ID read from a file, and TagLib's genre rewrite only looks for "TCON".
constexpr std::string_view keptGenreID = "TCOn";

// TagLib declares the frame header type in a protected section of Frame, where only classes
// derived from Frame may name it.
struct FrameHeaderName : TagLib::ID3v2::Frame {
    using Type = TagLib::ID3v2::Frame::Header;
};

class GenreKeepingFrameFactory final : public TagLib::ID3v2::FrameFactory {
  protected:
    bool updateFrame(FrameHeaderName::Type* header) const override {
        if (!FrameFactory::updateFrame(header)) return false;
        if (header->frameID() == "TCON")
            header->setFrameID(TagLib::ByteVector(keptGenreID.data(), keptGenreID.size()));
        return true;
    }
};

// The name of an ID3v1 genre number; none for other texts and for numbers without a name.
std::optional<TagLib::String> v1GenreName(const TagLib::String& text) {
    bool numeric = false;
    const int number = text.toInt(&numeric);
    if (!numeric || number < 0 || number > 255) return std::nullopt;
    TagLib::String name = TagLib::ID3v1::genre(number);
    if (name.isEmpty()) return std::nullopt;
    return name;
}

// ID3v2 genres may be ID3v1 genre numbers, alone ("17") or in parentheses ahead of more
// ("(17)", "(17)(4)Eurodisco"); those read as the genres' names. A number without a name, and
// whatever follows it, reads as written ("(200)").
std::string id3Genre(const TagLib::ID3v2::Frame& frame) {
    const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(&frame);
    if (!text) return utf8(frame.toString());
    TagLib::StringList genres;
    const auto add = [&](const TagLib::String& genre) {
        if (!genre.isEmpty() && !genres.contains(genre)) genres.append(genre);
    };
    for (TagLib::String field : text->fieldList()) {
        if (const auto name = v1GenreName(field)) field = *name;
        while (field.startsWith("(")) {
            const int close = field.find(")");
            const auto name = close > 0 ? v1GenreName(field.substr(1, close - 1)) : std::nullopt;
            if (!name) break;
            add(*name);
            field = field.substr(close + 1);
        }
        add(field);
    }
    return utf8(genres.toString());
}

Items id3v2Items(const TagLib::ID3v2::Tag& tag) {
    Items items;
    for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
        const TagLib::ByteVector frameID = frame->frameID();
        std::string id(frameID.data(), frameID.size());
        if (id == keptGenreID) id = "TCON";
        TagItem item{"id3/" + id, commonKey(id3Names, id), std::nullopt, std::nullopt};
        item.text = id == "TCON" ? id3Genre(*frame) : utf8(frame->toString());
        if (id == "TBPM") item.number = parseNumber(*item.text);
        items.push_back(std::move(item));
    }
    return items;
}

// Xiph comments, APE tags and MP4 freeform atoms name the tempo "BPM" (in any case); it is
// filed as ID3's tempo frame, the name the tempo rule knows.
std::string fieldIdentifier(std::string prefix, const std::string& name,
                            const std::string& upperName) {
    return prefix + (upperName == "BPM" ? "TBPM" : name);
}

// MP4 atom names are Latin-1; bytes outside printable ASCII are spelled %XX ("©nam" is
// "%A9nam").
std::string escapedAtomName(const std::string& latin1) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '%') {
            out.push_back(c);
        } else {
            out += {'%', hex[byte >> 4], hex[byte & 0xF]};
        }
    }
    return out;
}

Items mp4Items(const TagLib::MP4::Tag& tag) {
    Items items;
    for (const auto& [key, value] : tag.itemMap()) {
        const std::string name = key.to8Bit(false);
        TagItem item;
        if (name.starts_with("----:")) {
            // Freeform "----:mean:name" atoms, e.g. itlk/com.apple.iTunes.initialkey. A freeform
            // "BPM" text is a tempo; the tmpo atom sorts after it and wins when both are there.
            std::string freeform = name.substr(5);
            if (const auto colon = freeform.find(':'); colon != std::string::npos) {
                freeform[colon] = '.';
                const std::string field = freeform.substr(colon + 1);
                freeform = fieldIdentifier(freeform.substr(0, colon + 1), field,
                                           utf8(TagLib::String(field).upper()));
            }
            item.identifier = "itlk/" + escapedAtomName(freeform);
        } else {
            item.identifier = "itsk/" + escapedAtomName(name);
            item.commonKey = commonKey(mp4Names, name);
        }
        const TagLib::StringList texts = value.toStringList();
        if (!texts.isEmpty()) item.text = utf8(texts.toString());
        if (name == "tmpo") item.number = value.toInt();
        items.push_back(std::move(item));
    }
    return items;
}

Items xiphItems(const TagLib::Ogg::XiphComment& tag) {
    Items items;
    for (const auto& [field, values] : tag.fieldListMap()) {
        const std::string name = utf8(field);  // TagLib keeps these in upper case
        const std::string id = fieldIdentifier("vorb/", name, name);
        for (const TagLib::String& value : values)
            items.push_back({id, commonKey(xiphNames, name), utf8(value), {}});
    }
    return items;
}

Items apeItems(const TagLib::APE::Tag& tag) {
    Items items;
    for (const auto& [upperKey, value] : tag.itemListMap()) {
        const std::string upper = utf8(upperKey);
        TagItem item{fieldIdentifier("ape/", utf8(value.key()), upper), commonKey(apeNames, upper),
                     {}, {}};
        if (value.type() == TagLib::APE::Item::Text) item.text = utf8(value.values().toString());
        items.push_back(std::move(item));
    }
    return items;
}

Items infoItems(const TagLib::RIFF::Info::Tag& tag) {
    Items items;
    for (const auto& [chunk, value] : tag.fieldListMap()) {
        const std::string name(chunk.data(), chunk.size());
        items.push_back({"riff/" + name, commonKey(infoNames, name), utf8(value), {}});
    }
    return items;
}

Items asfItems(const TagLib::ASF::Tag& tag) {
    Items items;
    // Title and author live in the content description object, not in attributes.
    if (!tag.title().isEmpty()) items.push_back({"asf/Title", "title", utf8(tag.title()), {}});
    if (!tag.artist().isEmpty()) items.push_back({"asf/Author", "artist", utf8(tag.artist()), {}});
    for (const auto& [name, attributes] : tag.attributeListMap()) {
        const std::string field = utf8(name);
        for (const TagLib::ASF::Attribute& attribute : attributes) {
            TagItem item{"asf/" + field, commonKey(asfNames, field), {}, {}};
            switch (attribute.type()) {
                case TagLib::ASF::Attribute::UnicodeType:
                    item.text = utf8(attribute.toString());
                    break;
                case TagLib::ASF::Attribute::DWordType:
                    item.number = attribute.toUInt();
                    break;
                case TagLib::ASF::Attribute::QWordType:
                    item.number = static_cast<double>(attribute.toULongLong());
                    break;
                case TagLib::ASF::Attribute::WordType:
                    item.number = attribute.toUShort();
                    break;
                default:
                    break;
            }
            items.push_back(std::move(item));
        }
    }
    return items;
}

// The fixed fields of a tag without raw names (ID3v1, tracker modules).
Items basicItems(const TagLib::Tag& tag, const std::string& prefix) {
    Items items;
    const auto add = [&](const char* name, const char* key, const TagLib::String& value) {
        if (!value.isEmpty()) items.push_back({prefix + name, key, utf8(value), {}});
    };
    add("title", "title", tag.title());
    add("artist", "artist", tag.artist());
    add("album", "albumName", tag.album());
    add("genre", "type", tag.genre());
    if (tag.year() != 0)
        items.push_back({prefix + "year", "creationDate", std::to_string(tag.year()), {}});
    return items;
}

// The first tag that holds anything, from the main one to the fallbacks, for the file types
// that may carry several. A tag without a single field (an ID3v2 header over nothing but
// padding) counts as absent: it must not hide the tag behind it.
template <typename FileType>
Items layeredItems(FileType& file) {
    Items items;
    if constexpr (requires { file.hasXiphComment(); })
        if (file.hasXiphComment()) items = xiphItems(*file.xiphComment());
    if constexpr (requires { file.ID3v2Tag(); }) {
        if (items.empty() && file.hasID3v2Tag()) items = id3v2Items(*file.ID3v2Tag());
    } else if constexpr (requires { file.hasID3v2Tag(); }) {
        // AIFF: ID3v2 is its tag
        if (items.empty() && file.hasID3v2Tag()) items = id3v2Items(*file.tag());
    }
    if constexpr (requires { file.hasAPETag(); })
        if (items.empty() && file.hasAPETag()) items = apeItems(*file.APETag());
    if constexpr (requires { file.hasInfoTag(); })
        if (items.empty() && file.hasInfoTag()) items = infoItems(*file.InfoTag());
    if constexpr (requires { file.hasID3v1Tag(); })
        if (items.empty() && file.hasID3v1Tag()) items = basicItems(*file.ID3v1Tag(), "id3v1/");
    return items;
}

template <typename FileType>
bool tryLayered(TagLib::File& file, Items& items) {
    auto* typed = dynamic_cast<FileType*>(&file);
    if (typed) items = layeredItems(*typed);
    return typed != nullptr;
}

}  // namespace

TagLib::ID3v2::FrameFactory* genreKeepingFrameFactory() {
    static GenreKeepingFrameFactory factory;
    return &factory;
}

std::vector<TagItem> mainTagItems(TagLib::File& file) {
    using namespace TagLib;
    Items items;
    if (tryLayered<MPEG::File>(file, items) || tryLayered<FLAC::File>(file, items) ||
        tryLayered<RIFF::WAV::File>(file, items) || tryLayered<RIFF::AIFF::File>(file, items) ||
        tryLayered<TrueAudio::File>(file, items) || tryLayered<APE::File>(file, items) ||
        tryLayered<WavPack::File>(file, items) || tryLayered<MPC::File>(file, items))
        return items;
    if (auto* mp4 = dynamic_cast<MP4::File*>(&file))
        return mp4->hasMP4Tag() ? mp4Items(*mp4->tag()) : Items{};
    // Ogg Vorbis, Opus, Speex and Ogg FLAC carry a Vorbis comment; ASF its own tag.
    Tag* tag = file.tag();
    if (auto* xiph = dynamic_cast<Ogg::XiphComment*>(tag)) return xiphItems(*xiph);
    if (auto* asf = dynamic_cast<ASF::Tag*>(tag)) return asfItems(*asf);
    return tag ? basicItems(*tag, "tag/") : Items{};
}

}  // namespace morrowdeck::SeratoDatabase::detail
