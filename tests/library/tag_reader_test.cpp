// readTags on real audio files: committed untagged fixtures are copied and tagged here
// through TagLib, then read back. Also files that are not audio at all, which must come back
// quickly with only the size fields.
#include "library/tag_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <taglib/aifffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <filesystem>

#include "library/tag_file_stream.h"
#include "support/temp_dir.h"

namespace morrowdeck::SeratoDatabase {
namespace {

namespace fs = std::filesystem;
using TagLib::String;

const std::string kTitle = "Nacht \u2013 \u00DCber";
const std::string kArtist = "K\u00FCnstler";

fs::path copyFixture(const std::string& name, const fs::path& dest) {
    fs::copy_file(fs::path(MORROWDECK_TEST_DATA) / "audio" / name, dest);
    fs::permissions(dest, fs::perms::owner_write, fs::perm_options::add);
    return dest;
}

String utf8(const std::string& text) {
    return String(text, String::UTF8);
}

void addId3Frames(TagLib::ID3v2::Tag& tag, const std::string& genre) {
    const std::pair<const char*, std::string> frames[] = {
        {"TIT2", kTitle},       {"TPE1", kArtist}, {"TALB", "Album"}, {"TCON", genre},
        {"TDRC", "2019-05-04"}, {"TBPM", "126"},   {"TKEY", "8A"}};
    for (const auto& [id, text] : frames) {
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, String::UTF8);
        frame->setText(utf8(text));
        tag.addFrame(frame);
    }
}

void addXiphFields(TagLib::Ogg::XiphComment& tag) {
    tag.addField("TITLE", utf8(kTitle));
    tag.addField("ARTIST", utf8(kArtist));
    tag.addField("ALBUM", "Album");
    tag.addField("GENRE", "House");
    tag.addField("DATE", "2019-05-04");
    tag.addField("INITIALKEY", "8A");
}

void tagMp4(const fs::path& file) {
    TagLib::MP4::File m4a(file.c_str());
    TagLib::MP4::Tag& tag = *m4a.tag();
    tag.setItem("\251nam", TagLib::StringList(utf8(kTitle)));
    tag.setItem("\251ART", TagLib::StringList(utf8(kArtist)));
    tag.setItem("\251alb", TagLib::StringList("Album"));
    tag.setItem("\251gen", TagLib::StringList("House"));
    tag.setItem("\251day", TagLib::StringList("2019-05-04T10:00:00Z"));
    tag.setItem("tmpo", TagLib::MP4::Item(126));
    tag.setItem("----:com.apple.iTunes:initialkey", TagLib::StringList("8A"));
    ASSERT_TRUE(m4a.save());
}

// Tags the file the way common tools do for its kind; MP3s in the given ID3v2 version.
void tagFile(const fs::path& file, TagLib::ID3v2::Version version, const std::string& genre) {
    const std::string ext = file.extension().string();
    if (ext == ".mp3" || ext == ".MP3") {
        TagLib::MPEG::File mp3(file.c_str());
        addId3Frames(*mp3.ID3v2Tag(true), genre);
        ASSERT_TRUE(mp3.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, version));
    } else if (ext == ".m4a") {
        tagMp4(file);
    } else if (ext == ".flac") {
        TagLib::FLAC::File flac(file.c_str(), TagLib::ID3v2::FrameFactory::instance());
        addXiphFields(*flac.xiphComment(true));
        ASSERT_TRUE(flac.save());
    } else if (ext == ".ogg") {
        TagLib::Ogg::Vorbis::File ogg(file.c_str());
        addXiphFields(*ogg.tag());
        ASSERT_TRUE(ogg.save());
    } else if (ext == ".opus") {
        TagLib::Ogg::Opus::File opus(file.c_str());
        addXiphFields(*opus.tag());
        ASSERT_TRUE(opus.save());
    } else if (ext == ".wav") {
        TagLib::RIFF::WAV::File wav(file.c_str());
        addId3Frames(*wav.ID3v2Tag(), genre);
        ASSERT_TRUE(wav.save(TagLib::RIFF::WAV::File::ID3v2));
    } else {
        TagLib::RIFF::AIFF::File aiff(file.c_str());
        addId3Frames(*aiff.tag(), genre);
        ASSERT_TRUE(aiff.save());
    }
}

struct FormatCase {
    const char* name;
    const char* fixture;
    const char* copyName;
    TagLib::ID3v2::Version id3;
    std::string genreIn, genre;
    std::optional<std::string> bpm;
    std::string length, sampleRate;
};

class TagReaderFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(TagReaderFormats, ReadsTagsAndSound) {
    const FormatCase& c = GetParam();
    test::TempDir dir;
    const fs::path file = copyFixture(c.fixture, dir / c.copyName);
    tagFile(file, c.id3, c.genreIn);
    if (HasFatalFailure()) return;

    const Entry entry = readTags(file);
    EXPECT_EQ(entry.ext, fs::path(c.fixture).extension().string().substr(1));
    EXPECT_EQ(entry.sizeBytes, fs::file_size(file));
    EXPECT_TRUE(entry.sizeStr && entry.sizeStr->ends_with("KB")) << entry.sizeStr.value_or("-");
    EXPECT_EQ(entry.title, kTitle);
    EXPECT_EQ(entry.artist, kArtist);
    EXPECT_EQ(entry.album, "Album");
    EXPECT_EQ(entry.genre, c.genre);
    EXPECT_EQ(entry.year, "2019");
    EXPECT_EQ(entry.bpm, c.bpm);
    EXPECT_EQ(entry.key, "8A");
    EXPECT_EQ(entry.length, c.length);
    EXPECT_TRUE(entry.bitrate && entry.bitrate->ends_with(".0kbps")) << entry.bitrate.value_or("-");
    EXPECT_EQ(entry.sampleRate, c.sampleRate);
}

using TagLib::ID3v2::v3;
using TagLib::ID3v2::v4;

INSTANTIATE_TEST_SUITE_P(
    TagFixtures, TagReaderFormats,
    testing::Values(
        // ID3v2.3 has no TDRC: TagLib writes TYER and TDAT and reads them back as TDRC.
        // Its genre "(17)" is an ID3v1 genre number.
        FormatCase{"Mp3Id3v23", "silence.mp3", "a.mp3", v3, "17", "Rock", "126.00", "00:01.04",
                   "44.1k"},
        FormatCase{"Mp3Id3v24UpperCaseName", "silence.mp3", "B.MP3", v4, "House", "House", "126.00",
                   "00:01.04", "44.1k"},
        // The movie header says 1.00 s; the AAC track's own header counts priming samples.
        FormatCase{"M4a", "silence.m4a", "c.m4a", v4, "", "House", "126.00", "00:01.00", "44.1k"},
        FormatCase{"Flac", "silence.flac", "d.flac", v4, "", "House", {}, "00:01.00", "44.1k"},
        FormatCase{"OggVorbis", "silence.ogg", "e.ogg", v4, "", "House", {}, "00:01.00", "44.1k"},
        FormatCase{"Opus", "silence.opus", "f.opus", v4, "", "House", {}, "00:01.00", "48.0k"},
        FormatCase{"Wav", "silence.wav", "g.wav", v4, "House", "House", "126.00", "00:01.00",
                   "8.0k"},
        FormatCase{"Aiff", "silence.aiff", "h.aiff", v4, "House", "House", "126.00", "00:01.00",
                   "8.0k"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(TagReaderFiles, UntaggedFileGivesSizeAndSound) {
    test::TempDir dir;
    const Entry entry = readTags(copyFixture("silence.wav", dir / "plain.wav"));
    EXPECT_EQ(entry.sizeBytes, 16044u);
    EXPECT_EQ(entry.sizeStr, "16KB");
    EXPECT_EQ(entry.length, "00:01.00");
    EXPECT_EQ(entry.bitrate, "128.0kbps");
    EXPECT_EQ(entry.sampleRate, "8.0k");
    EXPECT_FALSE(entry.title || entry.genre || entry.year || entry.bpm || entry.key);
}

// Only one tag is read: a secondary tag counts only when the main one is missing.
TEST(TagReaderFiles, SecondaryTagsOnlyWithoutMainTag) {
    test::TempDir dir;
    const fs::path both = copyFixture("silence.mp3", dir / "both.mp3");
    const fs::path v1 = copyFixture("silence.mp3", dir / "v1.mp3");
    const fs::path info = copyFixture("silence.wav", dir / "info.wav");
    {
        TagLib::MPEG::File mp3(both.c_str());
        mp3.ID3v2Tag(true)->setTitle("From ID3v2");
        mp3.ID3v1Tag(true)->setTitle("From ID3v1");
        mp3.ID3v1Tag(true)->setArtist("Only in ID3v1");
        ASSERT_TRUE(mp3.save(TagLib::MPEG::File::AllTags, TagLib::File::StripOthers, v4,
                             TagLib::File::DoNotDuplicate));
        TagLib::MPEG::File old(v1.c_str());
        old.ID3v1Tag(true)->setTitle("Old");
        old.ID3v1Tag(true)->setYear(1999);
        ASSERT_TRUE(old.save(TagLib::MPEG::File::ID3v1));
        TagLib::RIFF::WAV::File wav(info.c_str());
        wav.InfoTag()->setTitle("Info title");
        ASSERT_TRUE(wav.save(TagLib::RIFF::WAV::File::Info));
    }
    const Entry fromMain = readTags(both);
    EXPECT_EQ(fromMain.title, "From ID3v2");
    EXPECT_EQ(fromMain.artist, std::nullopt);
    const Entry fromV1 = readTags(v1);
    EXPECT_EQ(fromV1.title, "Old");
    EXPECT_EQ(fromV1.year, "1999");
    EXPECT_EQ(readTags(info).title, "Info title");
}

void expectNoTags(const Entry& entry) {
    EXPECT_FALSE(entry.title || entry.genre || entry.length || entry.bitrate || entry.sampleRate)
        << entry.title.value_or("") << entry.length.value_or("");
}

// Anything that is not a readable audio file gives ext, the size fields of a regular file,
// and nothing else.
TEST(TagReaderFiles, NotAudio) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    const Entry fifo = readTags(dir / "pipe.mp3");  // would block forever if opened
    EXPECT_EQ(fifo.ext, "mp3");
    EXPECT_EQ(fifo.sizeStr, std::nullopt);
    expectNoTags(fifo);

    fs::create_directory(dir / "folder.m4a");
    expectNoTags(readTags(dir / "folder.m4a"));

    test::writeFile(dir / "empty.flac", "");
    const Entry empty = readTags(dir / "empty.flac");
    EXPECT_EQ(empty.sizeBytes, 0u);
    EXPECT_EQ(empty.sizeStr, std::nullopt);
    expectNoTags(empty);

    for (const char* name : {"silence.flac", "silence.ogg", "silence.opus", "silence.aiff"}) {
        const fs::path cut = copyFixture(name, dir / ("cut-" + std::string(name)));
        fs::resize_file(cut, 100);
        const Entry entry = readTags(cut);
        EXPECT_EQ(entry.sizeStr, "100bytes") << name;
        EXPECT_FALSE(entry.length) << name;  // a header's sample rate may still be there
    }
}

// A truncated file keeps what lies before the cut: the ID3v2 tag at the start of an MP3, but
// not the MP4 metadata at the end of an M4A.
TEST(TagReaderFiles, TruncatedFileKeepsWhatWasRead) {
    test::TempDir dir;
    const fs::path mp3 = copyFixture("silence.mp3", dir / "cut.mp3");
    const fs::path m4a = copyFixture("silence.m4a", dir / "cut.m4a");
    tagFile(mp3, v4, "House");
    tagMp4(m4a);
    ASSERT_FALSE(HasFatalFailure());
    fs::resize_file(mp3, fs::file_size(mp3) - 4000);
    fs::resize_file(m4a, fs::file_size(m4a) / 2);
    EXPECT_EQ(readTags(mp3).title, kTitle);
    EXPECT_EQ(readTags(m4a).title, std::nullopt);
}

// An all-zero file named .mp3 makes the MPEG parser hunt for a frame through the whole file;
// the read budget ends the hunt.
TEST(TagReaderFiles, LargeNonAudioFileStopsAtBudget) {
    test::TempDir dir;
    const fs::path big = dir / "zeros.mp3";
    test::writeFile(big, "");
    fs::resize_file(big, std::uint64_t{256} << 20);  // sparse: no disk space used
    TagFileStream stream(big, tagReadBudget);
    Entry entry;
    detail::readStreamTags(entry, stream);
    EXPECT_EQ(stream.bytesRead(), tagReadBudget);
    expectNoTags(entry);
}

TEST(TagFileStream, ReadsWithinBudgetAndBounds) {
    test::TempDir dir;
    test::writeFile(dir / "data", std::string(100, 'x'));
    TagFileStream stream(dir / "data", 30);
    ASSERT_TRUE(stream.isOpen());
    EXPECT_EQ(stream.readBlock(20).size(), 20u);
    EXPECT_EQ(stream.readBlock(20).size(), 10u);  // budget spent
    EXPECT_EQ(stream.readBlock(20).size(), 0u);

    TagFileStream wide(dir / "data", tagReadBudget);
    wide.seek(-10, TagLib::IOStream::End);
    EXPECT_EQ(wide.readBlock(4096).size(), 10u);  // never past the end
    wide.seek(-1000, TagLib::IOStream::Current);  // before the start: ignored
    EXPECT_EQ(wide.tell(), 100);

    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(TagFileStream(dir / "pipe", 10).isOpen());
    EXPECT_FALSE(TagFileStream(dir.path(), 10).isOpen());
}

}  // namespace
}  // namespace morrowdeck::SeratoDatabase
