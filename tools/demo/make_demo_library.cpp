// morrowdeck-demo-library DIR [--tracks N]: writes a small, complete Serato library to try
// Morrowdeck on, take screenshots of and measure: silent WAV files under DIR/Music and
// DIR/_Serato_ with nested crates, shared tracks, an empty crate, a smart crate and a
// "database V2" holding a record for every file.

#include <CLI/CLI.hpp>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <span>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/text_encoding.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "silent_wav.h"

namespace {

using namespace morrowdeck;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::string_view, 12> artists{
    "Ana Brisé",       "Müller & Sohn", "Nova 🎧",       "Kōji Tanaka",
    "The Low Ends",    "Marta Nuñez",   "DJ Parallax",  "Søren Vik",
    "Bassline Theory", "Lila Moon",     "Øresund Club", "Night Shift"};
constexpr std::array<std::string_view, 10> titles{
    "Night Drive", "Sunrise",   "Gravity", "Café Noir", "Deep Water",
    "Überfahrt",   "Afterglow", "Echoes",  "Lift Off",  "Slow Burn"};
constexpr std::array<std::string_view, 4> genres{"House", "Techno", "Disco & Funk", "Ambient"};
constexpr std::array<std::string_view, 6> keys{"Am", "C", "F#m", "Gm", "Eb", "Dm"};

constexpr std::uint32_t sampleRate = 8000;  // mono, 16-bit: small files that still play

struct Track {
    fs::path file;
    std::string artist;
    std::string title;
    std::string genre;
    std::uint32_t samples = 0;
    std::uint32_t size = 0;
};

// A valid PCM WAV file of silence: the 44-byte RIFF header and zeroed samples.
Bytes silentWav(std::uint32_t samples) {
    Bytes out = demo::silentWavHeader(1, sampleRate, samples * 2);  // mono
    out.resize(out.size() + samples * 2, 0);
    return out;
}

// Writes a new file; never replaces one that is already there (it may be the user's): the
// bytes go to a temporary file beside it, which then takes the name only where none is.
void writeNewFile(const fs::path& file, const Bytes& bytes) {
    const fs::path temporary = platform::temporaryNameBeside(file);
    int error = platform::writeFileAtomically(temporary, std::span(bytes.data(), bytes.size()),
                                              platform::Flush::cached);
    if (error == 0) error = platform::renameWithoutReplacing(temporary, file);
    if (error != 0) {
        platform::removeFile(temporary);
        throw std::runtime_error("cannot write " + platform::toUtf8(file) + ": " +
                                 platform::errorText(error));
    }
}

std::string twoDigits(unsigned value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// "mm:ss.hh", the form Serato shows a track's length in.
std::string lengthText(std::uint32_t samples) {
    const unsigned hundredths = samples * 100 / sampleRate;
    return twoDigits(hundredths / 6000) + ":" + twoDigits(hundredths / 100 % 60) + "." +
           twoDigits(hundredths % 100);
}

std::vector<Track> writeTracks(const fs::path& music, int count) {
    std::vector<Track> tracks;
    const int width = count >= 100 ? 3 : 2;
    for (int i = 0; i < count; ++i) {
        Track track;
        track.artist = artists[static_cast<std::size_t>(i) % artists.size()];
        std::string number = std::to_string(i + 1);
        number.insert(0, static_cast<std::size_t>(std::max(0, width - int(number.size()))), '0');
        track.title =
            std::string(titles[static_cast<std::size_t>(i) % titles.size()]) + " " + number;
        track.genre = genres[static_cast<std::size_t>(i) % genres.size()];
        // 0.5 to 2 seconds, so that sizes differ from file to file.
        track.samples = sampleRate / 2 + static_cast<std::uint32_t>((i * 7) % 16) * sampleRate / 10;
        const Bytes wav = silentWav(track.samples);
        track.size = static_cast<std::uint32_t>(wav.size());
        const fs::path folder = music / platform::toPath(track.genre);
        fs::create_directories(folder);
        track.file = folder / platform::toPath(track.artist + " - " + track.title + ".wav");
        writeNewFile(track.file, wav);
        tracks.push_back(std::move(track));
    }
    return tracks;
}

Bytes chunk(std::string_view tag, const Bytes& payload) {
    return SeratoDatabase::chunk(tag, payload);
}

// A smart crate file: its version, one rule ("genre is <genre>") and the tracks it matches.
Bytes smartCrateData(std::string_view genre, const std::vector<std::string>& paths) {
    Bytes out = chunk("vrsn", text::encodeUtf16BE("1.0/Serato ScratchLive Smart Crate"));
    SeratoDatabase::appendChunk(out, "rart", chunk("brut", Bytes{1}));
    Bytes rule = chunk("tvcn", text::encodeUtf16BE("genre"));
    SeratoDatabase::appendChunk(rule, "trpt", text::encodeUtf16BE(genre));
    SeratoDatabase::appendChunk(out, "rurt", rule);
    const Bytes tracks = CrateWriter::crateData(paths);
    // Keep the track chunks of a plain crate file, without its version chunk.
    const std::size_t versionEnd = 8 + SeratoDatabase::readU32(std::span(tracks).subspan(4, 4));
    out.insert(out.end(), tracks.begin() + static_cast<std::ptrdiff_t>(versionEnd), tracks.end());
    return out;
}

int makeDemo(const fs::path& dir, int trackCount) {
    const fs::path requested = fs::absolute(dir);
    if (fs::exists(requested / SeratoFolder::name)) {
        std::cerr << "A Serato library already exists at "
                  << platform::toUtf8(requested / SeratoFolder::name) << "; choose another folder.\n";
        return 2;
    }
    fs::create_directories(requested);
    // Symbolic links resolved, so that the stored volume-relative paths load back as the
    // paths the files really have.
    const fs::path root = fs::canonical(requested);
    // Written under a hidden name and renamed when complete: a "_Serato_" folder that exists
    // is always a whole library, even after an interrupted run.
    const fs::path library = root / ("." + std::string(SeratoFolder::name) + ".partial");
    fs::remove_all(library);
    fs::create_directories(library / SeratoFolder::crateFolder);
    fs::create_directories(library / SeratoFolder::smartCrateFolder);

    const std::vector<Track> tracks = writeTracks(root / "Music", trackCount);
    const std::string prefix = SeratoLibrary::volumeMountPrefix(library);
    std::vector<std::string> stored;
    for (const auto& track : tracks)
        stored.push_back(CrateWriter::volumeRelativePath(track.file, prefix));

    // Crate name components -> stored paths. A third of the tracks (every third one) sit in a
    // set as well as in their genre; every twelfth is also in Deep, every ninth in the
    // favourites.
    using Components = std::vector<std::string>;
    const Components warmUp{"Sets", "Warm-up"}, peakTime{"Sets", "Peak Time"},
        deep{"Genres", "House", "Deep"}, favourites{"Crème de la crème"};
    std::map<Components, std::vector<std::string>> crates{
        {warmUp, {}}, {peakTime, {}}, {favourites, {}}, {{"To Sort"}, {}}};
    for (const auto& genre : genres)
        crates[{"Genres", std::string(genre)}];
    crates[deep];
    std::vector<std::string> house;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        crates[{"Genres", tracks[i].genre}].push_back(stored[i]);
        if (tracks[i].genre == "House") house.push_back(stored[i]);
        if (i % 3 == 0) crates[i % 6 == 0 ? warmUp : peakTime].push_back(stored[i]);
        if (i % 12 == 0) crates[deep].push_back(stored[i]);
        if (i % 9 == 0) crates[favourites].push_back(stored[i]);
    }
    for (const auto& [components, paths] : crates)
        writeNewFile(
            library / SeratoFolder::crateFolder /
                platform::toPath(SeratoFolder::crateFileName(components, false)),
            CrateWriter::crateData(paths));
    writeNewFile(
        library / SeratoFolder::smartCrateFolder /
            platform::toPath(SeratoFolder::crateFileName({"All House"}, true)),
        smartCrateData("House", house));

    const auto now =
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count());
    std::vector<Bytes> records;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& track = tracks[i];
        SeratoDatabase::Entry entry;
        entry.path = stored[i];
        entry.ext = "wav";
        entry.added = now;
        entry.mtime = now;
        entry.sizeBytes = track.size;
        entry.title = track.title;
        entry.artist = track.artist;
        entry.album = "Morrowdeck Demo";
        entry.genre = track.genre;
        entry.bpm = std::to_string(96 + (i * 5) % 40);
        entry.key = std::string(keys[i % keys.size()]);
        entry.length = lengthText(track.samples);
        entry.year = "2024";
        entry.bitrate = "128.0kbps";
        entry.sampleRate = "8.0";
        records.push_back(SeratoDatabase::record(entry));
    }
    writeNewFile(library / SeratoFolder::databaseFile, SeratoDatabase::data(records));
    fs::rename(library, root / SeratoFolder::name);

    std::cout << "Demo library: " << platform::toUtf8(root / SeratoFolder::name) << " (" << tracks.size()
              << " tracks in " << platform::toUtf8(root / "Music") << ", " << crates.size() + 1
              << " crates)\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes a demo Serato library: silent audio files, crates and a database",
                 "morrowdeck-demo-library"};
    std::string dir;
    int trackCount = 60;
    app.add_option("DIR", dir, "Folder that receives Music/ and _Serato_/")->required();
    app.add_option("--tracks", trackCount, "Number of audio files (default: 60)")
        ->check(CLI::Range(1, 100000));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    try {
        return makeDemo(dir, trackCount);
    } catch (const std::exception& error) {
        std::cerr << "morrowdeck-demo-library: " << error.what() << '\n';
        return 1;
    }
}
