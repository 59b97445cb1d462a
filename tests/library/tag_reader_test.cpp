// readTags on real audio files: committed untagged fixtures are copied and tagged here
// through TagLib, then read back. Also files that are not audio at all, which must come back
// quickly with only the size fields.
#include "library/tag_reader.h"

#include <gtest/gtest.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>

#include "library/tag_file_stream.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoDatabase {
namespace {

namespace fs = std::filesystem;
using TagLib::ID3v2::v3;
using TagLib::ID3v2::v4;
const std::string kTitle = "Nacht \u2013 \u00DCber";

fs::path copyAudio(const std::string& name, const fs::path& dest) {
    fs::copy_file(fs::path(MORROWDECK_TEST_DATA) / "audio" / name, dest);
    fs::permissions(dest, fs::perms::owner_write, fs::perm_options::add);
    return dest;
}

enum class TagKind { id3v23, id3v24, ape, own };

// Tags a copy through TagLib's own mapping for its kind (ID3v2 frames, MP4 atoms, Vorbis
// comments), behind covers of the given sizes (in ID3v2 the covers come first). Ogg and FLAC
// files get their own tag; MP3s the one of the given kind.
void tagFile(const fs::path& file, TagKind kind, const std::string& genre,
             const std::string& bpm = "126", const std::vector<unsigned>& coverMiB = {}) {
    TagLib::FileRef ref(file.c_str());
    auto* mp3 = dynamic_cast<TagLib::MPEG::File*>(ref.file());
    for (const unsigned mebibytes : coverMiB) {
        const TagLib::ByteVector data(mebibytes << 20, 'x');
        if (mp3) {
            auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
            frame->setPicture(data);
            mp3->ID3v2Tag(true)->addFrame(frame);
            continue;
        }
        auto* picture = new TagLib::FLAC::Picture;
        picture->setData(data);
        if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(ref.file()))
            flac->addPicture(picture);
        else
            dynamic_cast<TagLib::Ogg::XiphComment*>(ref.tag())->addPicture(picture);
    }
    TagLib::PropertyMap tags;
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"TITLE", kTitle},
                                     {"ARTIST", "K\u00FCnstler"},
                                     {"GENRE", genre},
                                     {"DATE", "2019-05-04"},
                                     {"BPM", bpm},
                                     {"INITIALKEY", "8A"}})
        tags.insert(key, TagLib::String(value, TagLib::String::UTF8));
    const bool ape = kind == TagKind::ape;
    if (ape)
        mp3->APETag(true)->setProperties(tags);
    else
        ref.file()->setProperties(tags);
    if (auto* m4a = dynamic_cast<TagLib::MP4::File*>(ref.file()))  // not mapped for MP4
        m4a->tag()->setItem("----:com.apple.iTunes:initialkey", TagLib::StringList("8A"));
    const int kept = ape ? TagLib::MPEG::File::APE : TagLib::MPEG::File::ID3v2;
    EXPECT_TRUE(mp3 ? mp3->save(kept, TagLib::File::StripOthers, kind == TagKind::id3v23 ? v3 : v4)
                    : ref.save());
}

// Each kind of file TagLib parses, tagged and read back, and files peer readers agree on:
// covers larger than the search budget (ahead of the tags in the MP3; two in the FLAC, whose
// blocks hold at most 16 MiB), the tempo in Xiph and APE "BPM" fields and with a plus sign,
// and ID3v2 genre numbers, with an ID3v1 name or without one.
TEST(TagReaderFiles, ReadsTagsAndSoundOfEveryFormat) {
    struct Case {
        const char* file;  // a copy of silence.<extension in lower case>
        TagKind kind;
        std::vector<unsigned> coverMiB;
        const char *genreIn, *bpmIn, *genre, *bpm, *length, *sampleRate;
    };
    using enum TagKind;
    const Case cases[] = {
        // v23.mp3 is tagged in ID3v2.3, which has no TDRC: TagLib writes TYER and TDAT and
        // reads them back as TDRC. Its genre "(17)" is an ID3v1 genre number.
        {"v23.mp3", id3v23, {}, "17", "126", "Rock", "126.00", "00:01.04", "44.1k"},
        {"UPPER.MP3", id3v24, {}, "House", "126", "House", "126.00", "00:01.04", "44.1k"},
        // The movie header says 1.00 s; the AAC track's own header counts priming samples.
        {"t.m4a", own, {}, "House", "126", "House", "126.00", "00:01.00", "44.1k"},
        {"t.flac", own, {}, "House", "126", "House", "126.00", "00:01.00", "44.1k"},
        {"t.opus", own, {}, "House", "126", "House", "126.00", "00:01.00", "48.0k"},
        {"t.wav", own, {}, "House", "126", "House", "126.00", "00:01.00", "8.0k"},
        {"t.aiff", own, {}, "House", "126", "House", "126.00", "00:01.00", "8.0k"},
        {"first.mp3", id3v23, {20}, "(200)", "+128", "(200)", "128.00", "00:01.04", "44.1k"},
        {"v24.mp3", id3v24, {}, "200", "126", "200", "126.00", "00:01.04", "44.1k"},
        {"covers.flac", own, {10, 10}, "House", "126", "House", "126.00", "00:01.00", "44.1k"},
        {"cover.ogg", own, {20}, "House", "+128", "House", "128.00", "00:01.00", "44.1k"},
        {"ape.mp3", ape, {}, "House", "99", "House", "99.00", "00:01.04", "44.1k"},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string ext = fs::path(c.file).extension().string().substr(1);
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        const fs::path file = copyAudio("silence." + ext, dir / c.file);
        tagFile(file, c.kind, c.genreIn, c.bpmIn, c.coverMiB);
        const Entry e = readTags(file);
        EXPECT_EQ(std::tie(e.ext, e.title, e.artist, e.genre, e.year, e.bpm, e.key, e.length,
                           e.sampleRate),
                  std::tuple(ext, kTitle, "K\u00FCnstler", c.genre, "2019", c.bpm, "8A", c.length,
                             c.sampleRate));
        EXPECT_EQ(e.sizeBytes, fs::file_size(file));
        EXPECT_TRUE(e.bitrate && e.bitrate->ends_with(".0kbps")) << e.bitrate.value_or("");
    }
}

// Only one tag is read: a secondary tag (ID3v1, RIFF INFO) counts only without the main one.
TEST(TagReaderFiles, SecondaryTagsOnlyWithoutMainTag) {
    test::TempDir dir;
    const fs::path both = copyAudio("silence.mp3", dir / "both.mp3");
    const fs::path v1 = copyAudio("silence.mp3", dir / "v1.mp3");
    const fs::path info = copyAudio("silence.wav", dir / "info.wav");
    {
        TagLib::MPEG::File mp3(both.c_str());
        mp3.ID3v2Tag(true)->setTitle("From ID3v2");
        mp3.ID3v1Tag(true)->setArtist("Only in ID3v1");
        ASSERT_TRUE(mp3.save(TagLib::MPEG::File::AllTags, TagLib::File::StripOthers, v4,
                             TagLib::File::DoNotDuplicate));
        TagLib::MPEG::File old(v1.c_str());
        old.ID3v1Tag(true)->setYear(1999);
        ASSERT_TRUE(old.save(TagLib::MPEG::File::ID3v1));
        TagLib::RIFF::WAV::File wav(info.c_str());
        wav.InfoTag()->setTitle("Info title");
        ASSERT_TRUE(wav.save(TagLib::RIFF::WAV::File::Info));
    }
    const Entry mp3 = readTags(both), wav = readTags(info);
    EXPECT_EQ(std::tie(mp3.title, mp3.artist), std::tuple("From ID3v2", std::nullopt));
    EXPECT_EQ(readTags(v1).year, "1999");
    EXPECT_EQ(std::tie(wav.title, wav.sizeStr, wav.bitrate),
              std::tuple("Info title", "16KB", "128.0kbps"));
}

// An ID3v2 tag of the given version with no frames: the 10-byte header, then `padding` zero
// bytes, which the header's size covers.
std::string framelessID3v2(char version, unsigned padding) {
    std::string tag = {'I', 'D', '3', version, 0, 0};
    for (const int shift : {21, 14, 7, 0})
        tag.push_back(static_cast<char>((padding >> shift) & 0x7F));
    return tag + std::string(padding, '\0');
}

std::string fileBytes(const fs::path& file) {
    const std::vector<std::uint8_t> bytes = test::readBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

// A frameless ID3v2 tag is no tag: it hides neither the ID3v1 tag of an MP3 (the empty tag at
// the start) nor the RIFF INFO of a WAV (the empty tag in an "id3 " chunk after the INFO).
TEST(TagReaderFiles, FramelessID3v2HidesNoOtherTag) {
    struct Case {
        const char* file;  // a copy of silence.<extension>
        char version;
        unsigned padding;
    };
    const Case cases[] = {{"v3-padded.mp3", 3, 1024},
                          {"v4-bare.mp3", 4, 0},
                          {"v3-padded.wav", 3, 2048},
                          {"v4-odd.wav", 4, 7}};
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file =
            copyAudio("silence" + fs::path(c.file).extension().string(), dir / c.file);
        const bool mp3 = file.extension() == ".mp3";
        {
            TagLib::FileRef ref(file.c_str());
            auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file());
            auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file());
            TagLib::Tag* tag =
                mp3 ? static_cast<TagLib::Tag*>(mpeg->ID3v1Tag(true)) : wav->InfoTag();
            tag->setTitle("Old title");
            tag->setArtist("Old artist");
            tag->setAlbum("Old album");
            tag->setGenre("House");
            tag->setYear(1999);
            ASSERT_TRUE(mp3 ? mpeg->save(TagLib::MPEG::File::ID3v1)
                            : wav->save(TagLib::RIFF::WAV::File::Info));
        }  // closed: TagLib's writes are buffered until then
        const std::string id3 = framelessID3v2(c.version, c.padding);
        std::string bytes = fileBytes(file);
        if (mp3) {
            bytes = id3 + bytes;
        } else {
            const auto size = static_cast<std::uint32_t>(id3.size());
            bytes += "id3 ";
            for (const int shift : {0, 8, 16, 24})
                bytes.push_back(static_cast<char>(size >> shift));
            bytes += id3 + std::string(id3.size() % 2, '\0');  // chunks are padded to even sizes
            const auto riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
            for (const int i : {0, 1, 2, 3})
                bytes[4 + i] = static_cast<char>(riffSize >> (8 * i));
        }
        test::writeFile(file, bytes);
        // TagLib sees the empty tag too.
        ASSERT_TRUE(mp3 ? TagLib::MPEG::File(file.c_str()).hasID3v2Tag()
                        : TagLib::RIFF::WAV::File(file.c_str()).hasID3v2Tag());
        const Entry e = readTags(file);
        EXPECT_EQ(std::tie(e.title, e.artist, e.album, e.genre, e.year),
                  std::tuple("Old title", "Old artist", "Old album", "House", "1999"));
        EXPECT_TRUE(e.length && e.sampleRate);
    }
}

// An MP4 tempo kept only in a freeform "BPM" text counts; the tmpo atom wins over it.
TEST(TagReaderFiles, MP4FreeformTempo) {
    struct Case {
        const char* freeform;  // the freeform atom's name
        const char* text;
        int tmpo;  // 0: no tmpo atom
        std::optional<std::string> bpm;
    };
    const Case cases[] = {{"----:com.apple.iTunes:BPM", "124", 0, "124.00"},
                          {"----:com.apple.iTunes:bpm", "99.5", 0, "99.50"},
                          {"----:com.apple.iTunes:BPM", "124", 126, "126.00"},
                          {"----:com.apple.iTunes:BPMX", "124", 0, std::nullopt}};
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.freeform) + " " + std::to_string(c.tmpo));
        const fs::path file = copyAudio("silence.m4a", dir / "t.m4a");
        {
            TagLib::MP4::File m4a(file.c_str());
            m4a.tag()->setItem(c.freeform, TagLib::StringList(c.text));
            if (c.tmpo) m4a.tag()->setItem("tmpo", TagLib::MP4::Item(c.tmpo));
            ASSERT_TRUE(m4a.save());
        }
        EXPECT_EQ(readTags(file).bpm, c.bpm);
        fs::remove(file);
    }
}

// A file whose extension names another kind is read by the parser its content names, when the
// extension's one finds no sound: also behind an ID3v2 tag, and after the first parser spent
// the search budget hunting for MPEG frames (the grown FLAC; a small budget stands in for the
// real one, which takes seconds to spend).
TEST(TagReaderFiles, ContentDecidesWhenTheExtensionFindsNoSound) {
    constexpr std::uint64_t searchBudget = 64 << 10;
    struct Case {
        const char* source;  // silence.<source>, tagged, then renamed
        const char* file;
        std::uint64_t growTo;  // zero bytes after the audio up to this size; 0: as it is
        bool id3Ahead;         // a frameless ID3v2 tag put before the file
        const char* sampleRate;
    };
    const Case cases[] = {
        {"flac", "flac.mp3", 0, false, "44.1k"},
        {"m4a", "m4a.mp3", 0, false, "44.1k"},
        {"wav", "wav.mp3", 0, false, "8.0k"},
        {"aiff", "aiff.MP3", 0, false, "8.0k"},
        {"ogg", "ogg.mp3", 0, false, "44.1k"},
        {"opus", "opus.aac", 0, false, "48.0k"},
        {"flac", "big-flac.mp3", 4 * searchBudget, false, "44.1k"},
        {"flac", "id3-flac.mp3", 0, true, "44.1k"},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path source =
            copyAudio("silence." + std::string(c.source), dir / (std::string("t.") + c.source));
        tagFile(source, TagKind::id3v24, "House");
        if (c.growTo) fs::resize_file(source, c.growTo);
        if (c.id3Ahead) test::writeFile(source, framelessID3v2(4, 64) + fileBytes(source));
        const fs::path file = dir / c.file;
        fs::rename(source, file);
        TagFileStream stream(file, searchBudget, tagBlockBudget);
        Entry e;
        detail::readStreamTags(e, stream);
        EXPECT_EQ(std::tie(e.title, e.length, e.sampleRate),
                  std::tuple(kTitle, "00:01.00", c.sampleRate));
        EXPECT_TRUE(e.bitrate);
    }
}

// Anything that is not a readable audio file gives ext, the size fields of a regular file and
// nothing else; a truncated file keeps what lies before the cut (the ID3v2 tag at the start
// of an MP3, not the MP4 metadata at the end of an M4A).
TEST(TagReaderFiles, NotAudioOrTruncated) {
    test::TempDir dir;
    MORROWDECK_SKIP_ON_WINDOWS("no FIFOs");
    ASSERT_TRUE(test::makeFifo(dir / "pipe.mp3"));
    test::writeFile(dir / "empty.flac", "");
    for (const char* name : {"pipe.mp3", "empty.flac"}) {
        const Entry entry = readTags(dir / name);  // the pipe would block forever if opened
        EXPECT_EQ(entry.sizeStr, std::nullopt) << name;
        EXPECT_FALSE(entry.title || entry.length || entry.sampleRate) << name;
    }
    EXPECT_EQ(readTags(dir / "pipe.mp3").ext, "mp3");
    for (const char* name : {"silence.flac", "silence.ogg", "silence.opus", "silence.aiff"}) {
        const fs::path cut = copyAudio(name, dir / ("cut-" + std::string(name)));
        fs::resize_file(cut, 100);
        const Entry entry = readTags(cut);
        EXPECT_EQ(entry.sizeStr, "100bytes") << name;
        EXPECT_FALSE(entry.length) << name;  // a header's sample rate may still be there
    }
    const fs::path mp3 = copyAudio("silence.mp3", dir / "cut.mp3");
    const fs::path m4a = copyAudio("silence.m4a", dir / "cut.m4a");
    tagFile(mp3, TagKind::id3v24, "House");
    tagFile(m4a, TagKind::id3v24, "House");
    fs::resize_file(mp3, fs::file_size(mp3) - 4000);
    fs::resize_file(m4a, fs::file_size(m4a) / 2);
    EXPECT_EQ(readTags(mp3).title, kTitle);
    EXPECT_EQ(readTags(m4a).title, std::nullopt);
}

// An all-zero file named .mp3 makes the MPEG parser hunt for a frame through the whole file:
// the read budget ends the hunt. Seeks near the file's ends stay within it.
TEST(TagFileStream, ReadBudgetAndSeeks) {
    test::TempDir dir;
    test::writeFile(dir / "zeros.mp3", "");
    fs::resize_file(dir / "zeros.mp3", std::uint64_t{256} << 20);  // sparse: no disk space used
    TagFileStream zeros(dir / "zeros.mp3", tagSearchBudget, tagBlockBudget);
    Entry entry;
    detail::readStreamTags(entry, zeros);
    // The hunt stops at the budget; the look at the content's first bytes adds a few more.
    EXPECT_GE(zeros.bytesRead(), tagSearchBudget);
    EXPECT_LE(zeros.bytesRead(), tagSearchBudget + TagFileStream::searchReadSize);
    EXPECT_FALSE(entry.length || entry.sampleRate);

    // Searches and whole blocks stop at their own budgets, and no read passes the end.
    test::writeFile(dir / "data", std::string(5000, 'x'));
    TagFileStream stream(dir / "data", 10, 3000);
    stream.seek(-10, TagLib::IOStream::End);
    EXPECT_EQ(stream.readBlock(4096).size(), 10u);
    stream.seek(0);
    EXPECT_EQ(stream.readBlock(1024).size(), 10u);
    EXPECT_EQ(stream.readBlock(2000).size(), 2000u);
    EXPECT_EQ(stream.readBlock(2000).size(), 990u);
    stream.seek(-10000, TagLib::IOStream::Current);  // before the start: ignored
    EXPECT_EQ(stream.tell(), 3000);
    EXPECT_FALSE(TagFileStream(dir.path(), 10, 10).isOpen());
}

}  // namespace
}  // namespace morrowdeck::SeratoDatabase
