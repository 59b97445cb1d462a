#include "synthetic_library.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/text_encoding.h"
#include "support/random.h"

namespace morrowdeck::SyntheticLibrary {

namespace {

using bench::Random;

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view summaryFileName = "bench-library.txt";
constexpr std::string_view smartCrateVersion = "1.0/Serato ScratchLive Smart Crate";

// Crate name parts. Nesting is spelled with "%%" in the file name, as Serato does.
constexpr std::array<std::string_view, 12> groups = {
    "Genres",          "Gigs",      "Clients", "Radio Shows", "Years",   "Moods", "Café Sessions",
    "Edits & Remixes", "🔥 Bangers", "Warm-up", "Requests",    "Tributes"};
constexpr std::array<std::string_view, 20> styles = {
    "House", "Deep House",  "Tech House", "Techno",   "Disco",  "Nu-Disco", "Hip-Hop",
    "R&B",   "Drum & Bass", "Reggaetón",  "Afrobeat", "Funk",   "Soul",     "Pop",
    "Latin", "Amapiano",    "UK Garage",  "Breaks",   "Jungle", "Électro"};
constexpr std::array<std::string_view, 16> moments = {
    "Opening", "Peak Time",  "Closing",  "After Hours", "Sunday",  "Rooftop",
    "Wedding", "Birthday",   "Festival", "Club Night",  "Warm-up", "Classics",
    "New In",  "Vinyl Rips", "Bootlegs", "Acapellas"};
constexpr std::array<std::string_view, 8> smartRules = {
    "BPM 120-128",      "Added This Month", "Key 8A",       "Rated ★★★★★",
    "Played Last Week", "Genre ≫≫ House",   "Never Played", "Long Intros"};

// Track path parts. One artist is stored decomposed (NFD), as macOS file names often are.
constexpr std::array<std::string_view, 40> artists = {"Beyoncé",
                                                      "Sigur Rós",
                                                      "Björk",
                                                      "Motörhead",
                                                      "Røyksopp",
                                                      "Rosalía",
                                                      "Måneskin",
                                                      "Ólafur Arnalds",
                                                      "Jóhann Jóhannsson",
                                                      "Céline Dion",
                                                      "Café Tacvba",
                                                      "Cafe\xCC\x81 Del Mar",
                                                      "坂本龍一",
                                                      "宇多田ヒカル",
                                                      "BTS 방탄소년단",
                                                      "🎧 Late Night Tapes",
                                                      "Emoji Party 🎉🕺",
                                                      "Daft Punk",
                                                      "Fatboy Slim",
                                                      "The Chemical Brothers",
                                                      "Kruder & Dorfmeister",
                                                      "Bonobo",
                                                      "Four Tet",
                                                      "Peggy Gou",
                                                      "DJ Shadow",
                                                      "Massive Attack",
                                                      "Nina Simone",
                                                      "Fela Kuti",
                                                      "Buena Vista Social Club",
                                                      "Bad Bunny",
                                                      "Stevie Wonder",
                                                      "Chic",
                                                      "Donna Summer",
                                                      "Frankie Knuckles",
                                                      "Larry Heard",
                                                      "Moodymann",
                                                      "Kerri Chandler",
                                                      "Black Coffee",
                                                      "Hot Chip",
                                                      "LCD Soundsystem"};
constexpr std::array<std::string_view, 12> albums = {
    "Greatest Hits",  "Live at Montreux", "Remixes Vol. 2", "Singles 1998-2004",
    "Deluxe Edition", "Promo Pack",       "White Label",    "Essential Mix",
    "Unreleased",     "Club Edits",       "B-Sides",        "Beatport Downloads"};
constexpr std::array<std::string_view, 16> words = {
    "Midnight", "City",   "Lights", "Love",    "Dancing",  "Forever", "Heart",   "Fire",
    "Summer",   "Groove", "Dream",  "Tonight", "Paradise", "Rhythm",  "Sunrise", "Electric"};
constexpr std::array<std::string_view, 6> versions = {
    "", " (Extended Mix)", " (Original Mix)", " (Dub)", " (Radio Edit)", " [Remastered 2011]"};
constexpr std::array<std::string_view, 20> extensions = {
    "mp3", "mp3", "mp3", "mp3", "mp3", "mp3",  "mp3",  "mp3", "mp3", "mp3",
    "mp3", "mp3", "m4a", "m4a", "m4a", "flac", "flac", "wav", "wav", "aiff"};

// The volume-relative path of track t, about 60 to 90 bytes.
std::string trackPath(std::size_t t) {
    std::string path = "Users/dj/Music/";
    if (t % 2 == 0) {
        path.append(artists[(t / 2) % artists.size()]);
    } else {
        path.append("Artist ").append(std::to_string(t % 997));
    }
    path.append("/").append(albums[(t / 7) % albums.size()]).append("/");
    const std::size_t number = 1 + t % 20;
    path.append(number < 10 ? "0" : "").append(std::to_string(number)).append(" ");
    path.append(words[t % words.size()]).append(" ").append(words[(t / 16) % words.size()]);
    path.append(versions[(t / 3) % versions.size()]).append(" ").append(std::to_string(t));
    path.append(".").append(extensions[(t / 5) % extensions.size()]);
    return path;
}

Bytes utf16(std::string_view text) {
    return text::encodeUtf16BE(text);
}

Bytes chunk(std::string_view tag, const Bytes& payload) {
    return SeratoDatabase::chunk(tag, payload);
}

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// The sort and column chunks Serato writes after the version.
Bytes columnChunks(std::size_t columns) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> layout = {
        {{"song", "384"},
         {"artist", "172"},
         {"bpm", "0"},
         {"key", "0"},
         {"length", "107"},
         {"added", "137"}}};
    Bytes sort = chunk("tvcn", utf16("bpm"));
    append(sort, chunk("brev", Bytes{0}));
    Bytes out = chunk("osrt", sort);
    for (std::size_t i = 0; i < columns && i < layout.size(); ++i) {
        Bytes column = chunk("tvcn", utf16(layout[i].first));
        append(column, chunk("tvcw", utf16(layout[i].second)));
        append(out, chunk("ovct", column));
    }
    return out;
}

// The rule chunks a smart crate starts with.
Bytes ruleChunks(std::string_view field, std::string_view value) {
    Bytes out = chunk("rart", chunk("brut", Bytes{1}));
    append(out, chunk("rlut", chunk("brut", Bytes{1})));
    Bytes rule = chunk("tvcn", utf16(field));
    append(rule, chunk("trpt", utf16(value)));
    append(out, chunk("rurt", rule));
    return out;
}

// A crate file: version, the extra header chunks, then the track records the program's own
// writer produces (its version chunk is replaced by ours).
Bytes crateFile(std::string_view version, const Bytes& header,
                const std::vector<std::string>& paths, const Bytes& trailer) {
    const Bytes written = CrateWriter::crateData(paths);
    const std::size_t firstChunk = 8 + SeratoDatabase::readU32(std::span(written).subspan(4, 4));
    Bytes out = chunk("vrsn", utf16(version));
    append(out, header);
    out.insert(out.end(), written.begin() + static_cast<std::ptrdiff_t>(firstChunk), written.end());
    append(out, trailer);
    return out;
}

// The file name (without extension) of plain crate k: the first ones are the groups
// themselves, so some crates with a file also have children.
std::string plainCrateName(std::size_t k, Random& random) {
    if (k < groups.size()) return std::string(groups[k]);
    if (k < groups.size() + 80) {
        const std::size_t j = k - groups.size();
        return std::string(groups[j % groups.size()]) + "%%" +
               std::string(styles[(j / groups.size()) % styles.size()]);
    }
    const std::string leaf =
        std::string(moments[random.below(moments.size())]) + " " + std::to_string(k);
    const std::size_t depth = random.below(10);
    if (depth < 2) return leaf;
    const std::string group(groups[random.below(groups.size())]);
    if (depth < 7) return group + "%%" + leaf;
    return group + "%%" + std::string(styles[random.below(styles.size())]) + "%%" + leaf;
}

// References per crate: mostly small crates, a few large ones, some empty; sums exactly.
std::vector<std::size_t> referenceCounts(std::size_t crates, std::size_t references,
                                         Random& random) {
    std::vector<double> weights(crates);
    double total = 0;
    for (std::size_t c = 0; c < crates; ++c) {
        const double u = random.unit();
        weights[c] = (c % 50 == 7) ? 0.0 : 1.0 + 300.0 * u * u * u * u * u * u * u * u;
        total += weights[c];
    }
    std::vector<std::size_t> counts(crates, 0);
    std::size_t assigned = 0;
    for (std::size_t c = 0; c < crates; ++c) {
        counts[c] = static_cast<std::size_t>(static_cast<double>(references) * weights[c] / total);
        assigned += counts[c];
    }
    for (std::size_t c = 0; assigned < references; c = (c + 1) % crates) {
        if (weights[c] == 0.0) continue;
        ++counts[c];
        ++assigned;
    }
    return counts;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

Summary generate(const std::filesystem::path& root, const Shape& shape) {
    if (shape.crates == 0 && shape.references > 0)
        throw std::runtime_error("references need at least one crate");
    const std::filesystem::path library = root / "_Serato_";
    if (std::filesystem::exists(library))
        throw std::runtime_error(library.string() + " already exists");
    std::filesystem::create_directories(library / "Subcrates");
    std::filesystem::create_directories(library / "SmartCrates");

    Random random(shape.seed);
    const std::vector<std::size_t> counts = referenceCounts(shape.crates, shape.references, random);
    const std::size_t distinctTracks = std::max<std::size_t>(1, shape.references / 4);

    Summary summary;
    std::unordered_set<std::string> distinct;
    std::size_t plain = 0;
    std::size_t smart = 0;
    std::vector<std::string> paths;
    for (std::size_t c = 0; c < shape.crates; ++c) {
        paths.clear();
        for (std::size_t r = 0; r < counts[c]; ++r) {
            paths.push_back(trackPath(random.below(distinctTracks)));
            summary.pathBytes += paths.back().size();
            if (!isAscii(paths.back())) ++summary.nonAsciiPaths;
            distinct.insert(paths.back());
        }

        Bytes bytes;
        std::filesystem::path file;
        if (c % 10 == 9) {  // one crate in ten is a smart crate
            const std::string_view rule = smartRules[smart % smartRules.size()];
            std::string name = std::string(rule) + " " + std::to_string(smart);
            if (smart % 4 == 0) name = "Auto%%" + name;
            bytes = crateFile(smartCrateVersion, ruleChunks("genre", rule), paths, {});
            file = library / "SmartCrates" / (name + ".scrate");
            ++smart;
        } else {
            // Some crates were updated by appending a record after the track list.
            const Bytes trailer = plain % 20 == 3 ? columnChunks(1) : Bytes{};
            bytes =
                crateFile(CrateWriter::crateVersion, columnChunks(2 + plain % 5), paths, trailer);
            file = library / "Subcrates" / (plainCrateName(plain, random) + ".crate");
            ++plain;
        }
        writeFile(file, bytes);
        summary.fileBytes += bytes.size();
        summary.references += counts[c];
    }
    summary.crates = shape.crates;
    summary.smartCrates = smart;
    summary.distinctPaths = distinct.size();

    std::ofstream out(root / summaryFileName, std::ios::trunc);
    out << "crates " << summary.crates << "\nsmartCrates " << summary.smartCrates << "\nreferences "
        << summary.references << "\ndistinctPaths " << summary.distinctPaths << "\npathBytes "
        << summary.pathBytes << "\nnonAsciiPaths " << summary.nonAsciiPaths << "\nfileBytes "
        << summary.fileBytes << "\n";
    out.close();
    if (!out) throw std::runtime_error("cannot write " + (root / summaryFileName).string());
    return summary;
}

std::optional<Summary> readSummary(const std::filesystem::path& root) {
    std::ifstream in(root / summaryFileName);
    if (!in) return std::nullopt;
    Summary summary;
    std::string key;
    std::size_t value = 0;
    while (in >> key >> value) {
        if (key == "crates")
            summary.crates = value;
        else if (key == "smartCrates")
            summary.smartCrates = value;
        else if (key == "references")
            summary.references = value;
        else if (key == "distinctPaths")
            summary.distinctPaths = value;
        else if (key == "pathBytes")
            summary.pathBytes = value;
        else if (key == "nonAsciiPaths")
            summary.nonAsciiPaths = value;
        else if (key == "fileBytes")
            summary.fileBytes = value;
    }
    return summary;
}

}  // namespace morrowdeck::SyntheticLibrary
