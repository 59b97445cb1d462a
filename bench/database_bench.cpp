// bench_database: times splitting "database V2" into track records and joining them again
// (SeratoDatabase::records and SeratoDatabase::data), and reading master.sqlite
// (SeratoSQL::read), each side by side with plain reads of the same file by this process and
// by a standard tool (cat, the sqlite3 shell) in the same run. Prints figures and ratios; it
// asserts nothing about speed. It also writes the synthetic files it measures.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "library/serato_database.h"
#include "library/serato_sql.h"
#include "platform/file_system.h"
#include "support/process.h"
#include "support/random.h"
#include "support/rounds.h"
#include "support/timing.h"

namespace {

using namespace morrowdeck;
namespace fs = std::filesystem;
using namespace morrowdeck::bench;
using Bytes = SeratoDatabase::Bytes;

constexpr int exitOk = 0;
constexpr int exitMismatch = 1;
constexpr int exitUsage = 2;

// The two statements SeratoSQL::read runs; the shell and the bare-stepping side run them too.
constexpr const char* selectAssets =
    "SELECT portable_id, rating, color, bpm, dj_play_count FROM asset";
constexpr const char* selectRules =
    "SELECT c.name, scr.rules FROM smart_crate_rules scr JOIN container c ON scr.container_id = "
    "c.id";

// ---- timing ----

// Frees a container's memory; `v = {}` would keep its capacity.
template <typename Container>
void drop(Container& container) {
    Container().swap(container);
}

double megabytesPerSecond(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

// ---- synthetic tracks ----

// Five of the artists have non-ASCII text: accents (one decomposed, as macOS file names often
// are), CJK and emoji (surrogate pairs in UTF-16).
constexpr std::array<std::string_view, 32> artists = {"The Temptations",
                                                      "Jay-Z",
                                                      "Camp Lo",
                                                      "Masta Ace",
                                                      "Daft Punk",
                                                      "Fatboy Slim",
                                                      "Chic",
                                                      "Donna Summer",
                                                      "Frankie Knuckles",
                                                      "Larry Heard",
                                                      "Moodymann",
                                                      "Kerri Chandler",
                                                      "Black Coffee",
                                                      "Hot Chip",
                                                      "DJ Shadow",
                                                      "Massive Attack",
                                                      "Nina Simone",
                                                      "Fela Kuti",
                                                      "Stevie Wonder",
                                                      "Bad Bunny",
                                                      "Peggy Gou",
                                                      "Four Tet",
                                                      "Bonobo",
                                                      "A Tribe Called Quest",
                                                      "Beyoncé",
                                                      "Björk",
                                                      "Cafe\xCC\x81 Tacvba",
                                                      "坂本龍一",
                                                      "Emoji Party 🎉",
                                                      "Kruder & Dorfmeister",
                                                      "LCD Soundsystem",
                                                      "Buena Vista Social Club"};
constexpr std::array<std::string_view, 12> albums = {
    "Greatest Hits",  "Live at Montreux", "Remixes Vol. 2", "Singles 1998-2004",
    "Deluxe Edition", "Promo Pack",       "White Label",    "Essential Mix",
    "Unreleased",     "Club Edits",       "B-Sides",        "Beatport Downloads"};
constexpr std::array<std::string_view, 16> words = {
    "Midnight", "City",   "Lights", "Love",    "Dancing",  "Forever", "Heart",   "Fire",
    "Summer",   "Groove", "Dream",  "Tonight", "Paradise", "Rhythm",  "Sunrise", "Electric"};
constexpr std::array<std::string_view, 6> versions = {
    "", " (Extended Mix)", " (Original Mix)", " (Dirty)", " (Radio Edit)", " (Clean)"};
constexpr std::array<std::string_view, 12> genres = {
    "House", "Hip-Hop/Rap", "R&B",  "Classic Soul", "Disco", "Techno",
    "Pop",   "Reggaetón",   "Funk", "Drum & Bass",  "Latin", "Dance"};
constexpr std::array<std::string_view, 12> keys = {"Am", "C",  "C#m", "Ebm", "F",  "Bm",
                                                   "G",  "Dm", "8A",  "5A",  "Eb", "F#m"};
constexpr std::array<std::string_view, 4> comments = {
    "www.beatjunkies.com", "Purchased at Beatport.com", "Intro clean, outro 16 bars",
    "Promo only - not for sale\n@label (IG)"};
constexpr std::array<std::string_view, 3> groupings = {
    "For Promotional Use Only - Not For Sale",
    "For Promotional Disc Jockey Use Only - Not For Sale", "Warm-up"};
constexpr std::array<std::string_view, 3> labels = {"Universal Music Group, Def Jam Recordings",
                                                    "www.bpmsupreme.com", "Strictly Rhythm"};
constexpr std::array<std::string_view, 10> extensions = {"mp3", "mp3", "mp3", "mp3", "mp3",
                                                         "mp3", "mp3", "mp3", "m4a", "flac"};
constexpr std::array<std::int64_t, 8> colors = {0x993399, 0x99FF99, 0xFF9999, 0x9999FF,
                                                0xFFFF99, 0x99FFFF, 0xFF99FF, 0xFFBB99};

// One track's values: what database V2 stores (the Entry plus fields Entry does not carry)
// and what master.sqlite stores for the same file.
struct Track {
    SeratoDatabase::Entry entry;
    std::optional<std::string> comment;
    std::optional<std::string> composer;
    std::optional<std::string> grouping;
    std::optional<std::string> label;
    std::uint32_t trackNumber = 0;  // 0: none
    double bpm = 0;
    int lengthMs = 0;
    int kbps = 0;
};

std::string twoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Track `index`; the same seed and index always give the same track, in any order.
Track makeTrack(std::uint64_t seed, std::size_t index) {
    Random random(seed * 0x2545F4914F6CDD1DULL + index);
    Track track;
    auto& entry = track.entry;
    const std::string artist = random.pick(artists);
    std::string title = random.pick(words) + " " + random.pick(words);
    if (random.chance(0.5)) title += " " + random.pick(words);
    title += random.pick(versions);
    track.trackNumber = random.chance(0.5) ? static_cast<std::uint32_t>(1 + random.below(20)) : 0;

    entry.ext = random.pick(extensions);
    // A third of the files sit flat in Music; the others in Artist/Album folders. The index
    // keeps every path unique, as Serato's database requires.
    entry.path = "Users/dj/Music/";
    if (random.chance(0.67)) entry.path += artist + "/" + random.pick(albums) + "/";
    entry.path += twoDigits(1 + static_cast<int>(random.below(20))) + " " + title + " " +
                  std::to_string(index) + "." + entry.ext;

    entry.title = title;
    if (random.chance(0.99)) entry.artist = artist;
    if (random.chance(0.83)) entry.album = random.pick(albums);
    if (random.chance(0.95)) entry.genre = random.pick(genres);
    track.bpm = static_cast<double>(7000 + random.below(10500)) / 100;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", track.bpm);
    entry.bpm = text;
    if (random.chance(0.87)) entry.key = random.pick(keys);
    if (random.chance(0.95))
        entry.year = random.chance(0.3) ? "0" : std::to_string(1970 + random.below(55));
    track.lengthMs = static_cast<int>(120'000 + random.below(360'000));
    track.kbps = random.chance(0.7) ? 320 : 128 + static_cast<int>(random.below(190));
    if (random.chance(0.42)) {  // files Serato has analysed carry length and format text
        std::snprintf(text, sizeof text, "%02d:%02d.%02d", track.lengthMs / 60'000,
                      track.lengthMs / 1000 % 60, track.lengthMs / 10 % 100);
        entry.length = text;
        std::snprintf(text, sizeof text, "%d.0kbps", track.kbps);
        entry.bitrate = text;
        entry.sampleRate = "44.1k";
    }
    entry.added = static_cast<std::uint32_t>(1'400'000'000 + random.below(300'000'000));
    if (random.chance(0.99))
        entry.mtime = entry.added - static_cast<std::uint32_t>(random.below(50'000'000));
    const auto size = static_cast<std::uint32_t>(track.lengthMs / 8 * track.kbps);
    if (random.chance(0.07)) {
        entry.sizeBytes = size;
        std::snprintf(text, sizeof text, "%.1fMB", size / 1e6);
        entry.sizeStr = text;
    }
    if (random.chance(0.38)) track.comment = random.pick(comments);
    if (random.chance(0.33)) track.composer = artist + " / " + random.pick(words) + " Smith";
    if (random.chance(0.27)) track.grouping = random.pick(groupings);
    if (random.chance(0.11)) track.label = random.pick(labels);
    return track;
}

// The database V2 record of a track: SeratoDatabase::record(entry) plus the fields real
// records carry that Entry has no values for (comment, composer, grouping, label, track
// number, label colour, analysis version), placed before the flag chunks as Serato does.
Bytes trackRecord(const Track& track) {
    const Bytes base = SeratoDatabase::record(track.entry);
    Bytes extras;
    SeratoDatabase::str(extras, "tcom", track.comment);
    SeratoDatabase::str(extras, "tcmp", track.composer);
    SeratoDatabase::str(extras, "tgrp", track.grouping);
    SeratoDatabase::str(extras, "tlbl", track.label);
    if (track.trackNumber != 0)
        SeratoDatabase::appendChunk(extras, "utkn", SeratoDatabase::u32(track.trackNumber));
    SeratoDatabase::appendChunk(extras, "ulbl", SeratoDatabase::u32(0xFFFFFF));
    const std::array<std::uint8_t, 2> analysed = {0x02, 0x01};
    SeratoDatabase::appendChunk(extras, "sbav", analysed);

    Bytes out;
    out.reserve(base.size() + extras.size());
    bool placed = false;
    SeratoDatabase::eachChunk(base, [&](std::string_view tag, SeratoDatabase::ByteView payload) {
        if (!placed && tag == "bhrt") {
            out.insert(out.end(), extras.begin(), extras.end());
            placed = true;
        }
        out.insert(out.end(), payload.data() - 8, payload.data() + payload.size());
    });
    if (!placed) out.insert(out.end(), extras.begin(), extras.end());
    return out;
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void generateDatabase(const fs::path& file, std::size_t count, std::uint64_t seed) {
    const auto start = Clock::now();
    std::vector<Bytes> records;
    records.reserve(count);
    std::size_t fields = 0;
    std::size_t nonAscii = 0;
    for (std::size_t index = 0; index < count; ++index) {
        const Track track = makeTrack(seed, index);
        records.push_back(trackRecord(track));
        SeratoDatabase::eachChunk(records.back(), [&](auto, auto) { ++fields; });
        if (std::any_of(track.entry.path.begin(), track.entry.path.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
            ++nonAscii;
    }
    const Bytes database = SeratoDatabase::data(records);
    writeFile(file, database);
    const double perRecord = count ? 1.0 / static_cast<double>(count) : 0.0;
    std::printf("generated %s in %.2f s\n", file.c_str(), secondsSince(start));
    std::printf("  records          %zu, %.1f fields and %.0f bytes each on average\n", count,
                static_cast<double>(fields) * perRecord,
                static_cast<double>(database.size()) * perRecord);
    std::printf("  non-ASCII paths  %.1f%%\n", 100.0 * static_cast<double>(nonAscii) * perRecord);
    std::printf("  file bytes       %.2f MB\n", static_cast<double>(database.size()) / 1e6);
}

// ---- synthetic master.sqlite ----

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

void exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error("SQLite: " + text);
    }
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db));
    }
    return Statement(raw);
}

void step(sqlite3* db, sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE)
        throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db));
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

// A null pointer would bind NULL, so empty text is bound from a literal.
void bindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.empty() ? "" : text.data(),
                      static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Text columns of `asset` are NOT NULL DEFAULT ''; an absent value is stored as ''.
void bindOptional(sqlite3_stmt* statement, int index, const std::optional<std::string>& text) {
    bindText(statement, index, text ? std::string_view(*text) : std::string_view());
}

// Stand-ins for the two SQL functions the schema's insert trigger calls, which only Serato
// registers: ASCII lower-casing for the *_norm columns (so they hold text of the real width)
// and a key's position in the generator's key list (-1 when unknown).
void normalizedText(sqlite3_context* context, int, sqlite3_value** values) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
    if (text == nullptr) {
        sqlite3_result_null(context);
        return;
    }
    std::string folded(text, static_cast<std::size_t>(sqlite3_value_bytes(values[0])));
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

void keyType(sqlite3_context* context, int, sqlite3_value** values) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
    const auto found =
        text ? std::find(keys.begin(), keys.end(), std::string_view(text)) : keys.end();
    sqlite3_result_int(context, found == keys.end() ? -1 : static_cast<int>(found - keys.begin()));
}

struct SqlShape {
    std::size_t assets = 100'000;
    std::size_t containers = 500;  // one in five a smart crate with a rules row
};

std::string rulesText(Random& random) {
    std::string text =
        R"({"match":")" + std::string(random.chance(0.8) ? "all" : "any") + R"(","rules":[)";
    const std::size_t count = 1 + random.below(4);
    for (std::size_t rule = 0; rule < count; ++rule) {
        if (rule) text += ",";
        text += R"({"field":"genre","op":"contains","value":")" + random.pick(genres) + R"("})";
    }
    return text + R"(],"limit":)" + std::to_string(random.below(500)) + "}";
}

void generateSqlite(const fs::path& file, const fs::path& schema, const SqlShape& shape,
                    std::uint64_t seed) {
    const auto start = Clock::now();
    std::ifstream schemaStream(schema);
    if (!schemaStream) throw std::runtime_error("cannot read " + schema.string());
    const std::string schemaText((std::istreambuf_iterator<char>(schemaStream)),
                                 std::istreambuf_iterator<char>());

    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const Connection connection(raw);
    sqlite3* db = connection.get();
    if (opened != SQLITE_OK) throw std::runtime_error("cannot create " + file.string());
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "serato_str_norm", 1, flags, nullptr, normalizedText, nullptr,
                            nullptr);
    sqlite3_create_function(db, "serato_raw_key_string_to_key_type", 1, flags, nullptr, keyType,
                            nullptr, nullptr);
    exec(db, schemaText);

    exec(db, "BEGIN");
    exec(db, "INSERT INTO serato (database_name, time_created) VALUES ('', 1600000000)");
    exec(db, "INSERT INTO location (id, path) VALUES (1, '/')");

    const Statement insertAsset = prepare(
        db,
        "INSERT INTO asset (external_id, portable_id, file_name, file_size, file_bit_rate, type, "
        "artist, name, album, genre, year, key, comments, composer, grouping, label, "
        "track_number, rating, color, dj_play_count, bpm, length_sec, length_ms, time_added, "
        "time_modified, location_id, file_sample_rate) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, "
        "?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, 1, "
        "44100)");
    std::size_t withValues = 0;
    for (std::size_t index = 0; index < shape.assets; ++index) {
        const Track track = makeTrack(seed, index);
        const auto& entry = track.entry;
        sqlite3_stmt* row = insertAsset.get();
        sqlite3_bind_int64(row, 1, static_cast<sqlite3_int64>(index + 1));
        bindText(row, 2, entry.path);
        bindText(row, 3, std::string_view(entry.path).substr(entry.path.rfind('/') + 1));
        sqlite3_bind_int64(row, 4, track.lengthMs / 8 * track.kbps);
        sqlite3_bind_double(row, 5, track.kbps * 1000.0);
        bindText(row, 6, entry.ext);
        bindOptional(row, 7, entry.artist);
        bindOptional(row, 8, entry.title);
        bindOptional(row, 9, entry.album);
        bindOptional(row, 10, entry.genre);
        bindOptional(row, 11, entry.year);
        bindOptional(row, 12, entry.key);
        bindOptional(row, 13, track.comment);
        bindOptional(row, 14, track.composer);
        bindOptional(row, 15, track.grouping);
        bindOptional(row, 16, track.label);
        bindText(row, 17, track.trackNumber ? std::to_string(track.trackNumber) : std::string());
        // Most tracks carry a rating, colour or play count; about one in eight has none.
        Random random(seed ^ (0xA5A5A5A5ULL + index));
        if (random.chance(0.88)) {
            ++withValues;
            const bool rated = random.chance(0.7);
            const bool coloured = random.chance(0.5);
            if (rated || !coloured)
                sqlite3_bind_double(row, 18, static_cast<double>(random.below(6)) / 5);
            if (coloured) sqlite3_bind_int64(row, 19, colors[random.below(colors.size())]);
            if (random.chance(0.85))
                sqlite3_bind_int64(row, 20, static_cast<sqlite3_int64>(random.below(120)));
        }
        sqlite3_bind_double(row, 21, track.bpm);
        sqlite3_bind_int(row, 22, track.lengthMs / 1000);
        sqlite3_bind_int(row, 23, track.lengthMs);
        sqlite3_bind_int64(row, 24, entry.added);
        sqlite3_bind_int64(row, 25, entry.mtime ? entry.mtime : entry.added);
        step(db, row);
    }

    // Crates nest under the first twenty; smart crates (type 2) have a rules row each.
    const Statement insertContainer = prepare(
        db, "INSERT INTO container (id, parent_id, name, type, list_order) VALUES (?, ?, ?, ?, ?)");
    const Statement insertRules = prepare(
        db, "INSERT INTO smart_crate_rules (container_id, version, rules) VALUES (?, 1, ?)");
    Random random(seed ^ 0xC0FFEEULL);
    std::size_t smart = 0;
    for (std::size_t index = 1; index <= shape.containers; ++index) {
        const bool isSmart = index % 5 == 0;
        sqlite3_stmt* row = insertContainer.get();
        sqlite3_bind_int64(row, 1, static_cast<sqlite3_int64>(index));
        if (!isSmart && index > 20) sqlite3_bind_int64(row, 2, 1 + random.below(19));
        bindText(row, 3,
                 random.pick(genres) + " " + random.pick(words) + " " + std::to_string(index));
        sqlite3_bind_int(row, 4, isSmart ? 2 : 1);
        sqlite3_bind_int64(row, 5, static_cast<sqlite3_int64>(index));
        step(db, row);
        if (!isSmart) continue;
        ++smart;
        sqlite3_bind_int64(insertRules.get(), 1, static_cast<sqlite3_int64>(index));
        bindText(insertRules.get(), 2, rulesText(random));
        step(db, insertRules.get());
    }
    exec(db, "COMMIT");

    std::printf("generated %s in %.2f s\n", file.c_str(), secondsSince(start));
    std::printf("  asset rows       %zu, %zu with a rating, colour or play count\n", shape.assets,
                withValues);
    std::printf("  containers       %zu, %zu smart crates with rules\n", shape.containers, smart);
}

int runGenerate(const fs::path& folder, std::size_t records, const SqlShape& shape,
                const fs::path& schema, std::uint64_t seed) {
    const fs::path database = folder / "database V2";
    const fs::path sqlite = folder / "master.sqlite";
    if (fs::exists(database) || fs::exists(sqlite)) {
        std::fprintf(stderr, "bench_database: %s already holds generated files\n", folder.c_str());
        return exitUsage;
    }
    fs::create_directories(folder);
    generateDatabase(database, records, seed);
    generateSqlite(sqlite, schema, shape, seed);
    return exitOk;
}

// ---- database V2: split and join ----

int runDatabase(const fs::path& file, int rounds) {
    const auto original = platform::readFile(file);
    if (!original) {
        std::fprintf(stderr, "bench_database: cannot read %s\n", file.c_str());
        return exitUsage;
    }
    const SeratoDatabase::ByteView bytes(*original);
    std::size_t trackChunks = 0;
    SeratoDatabase::eachChunk(bytes, [&](std::string_view tag, auto) {
        if (tag == "otrk") ++trackChunks;
    });
    std::vector<Bytes> parts;
    for (auto& record : SeratoDatabase::records(bytes))
        parts.push_back(std::move(record.record));

    // Each side drops its previous result before the clock starts, so freeing is not timed.
    std::vector<SeratoDatabase::Record> split;
    Bytes joined;
    std::optional<Bytes> readBack;
    Bytes copy;
    const auto timed = [](auto&& work) {
        const auto start = Clock::now();
        work();
        return secondsSince(start);
    };
    const std::vector<Side> sides = {
        {"records",
         [&] {
             drop(split);
             return timed([&] { split = SeratoDatabase::records(bytes); });
         }},
        {"data",
         [&] {
             drop(joined);
             return timed([&] { joined = SeratoDatabase::data(parts); });
         }},
        {"readFile",
         [&] {
             readBack.reset();
             const double seconds = timed([&] { readBack = platform::readFile(file); });
             return readBack ? seconds : -1;
         }},
        {"copy",
         [&] {
             drop(copy);
             return timed([&] { copy = Bytes(original->begin(), original->end()); });
         }},
        {"cat",
         [&] {
             return timeCommand({.args = {"cat", "--", file.string()}, .keepStderr = true});
         }},
    };

    std::printf("database bench: %s\n", file.c_str());
    const auto medians = runRounds("bench_database", sides, rounds);
    if (!medians) return exitUsage;
    const double records = (*medians)[0];
    const double data = (*medians)[1];
    const double read = (*medians)[2];
    const double memory = (*medians)[3];
    const double cat = (*medians)[4];
    const std::size_t size = original->size();

    std::printf("---- summary (median of %d warm rounds) ----\n", rounds);
    std::printf("file                   %.2f MB, %zu track records (%zu otrk chunks)\n",
                static_cast<double>(size) / 1e6, split.size(), trackChunks);
    const auto line = [&](const char* name, double seconds) {
        std::printf("%-22s %9.3f ms %9.1f MB/s\n", name, seconds * 1e3,
                    megabytesPerSecond(size, seconds));
    };
    line("records", records);
    line("data", data);
    line("readFile", read);
    line("copy (in memory)", memory);
    line("cat", cat);
    const auto ratio = [](const char* name, double value) {
        std::printf("%-22s %.2fx\n", name, value);
    };
    ratio("ratio records/readFile", records / read);
    ratio("ratio records/cat", records / cat);
    ratio("ratio data/readFile", data / read);
    ratio("ratio data/cat", data / cat);
    std::printf("records/second         %.3f M split, %.3f M joined\n",
                static_cast<double>(split.size()) / records / 1e6,
                static_cast<double>(parts.size()) / data / 1e6);

    // data(records(file)) gives the file back when every track chunk has a readable path and
    // the version chunk is the standard one.
    const bool identical = joined == *original && copy == *original;
    if (split.size() != trackChunks || !identical) {
        std::printf("MISMATCH: %s\n", split.size() != trackChunks
                                          ? "some track chunks were not split into records"
                                          : "joining the records did not give the file back");
        return exitMismatch;
    }
    std::printf("round trip             identical\n");
    return exitOk;
}

// ---- master.sqlite: read ----

struct StepCounts {
    std::size_t assetRows = 0;
    std::size_t ruleRows = 0;
    std::size_t textBytes = 0;
};

// Opens the database read-only and steps through the rows of both statements, reading every
// column with the accessors read() uses but keeping nothing: the least any reader through
// SQLite pays. False when the file cannot be opened or a statement does not prepare.
bool stepAll(const fs::path& file, StepCounts& counts) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Connection db(raw);
    if (opened != SQLITE_OK) return false;
    counts = {};
    for (const char* sql : {selectAssets, selectRules}) {
        sqlite3_stmt* statementRaw = nullptr;
        if (sqlite3_prepare_v2(db.get(), sql, -1, &statementRaw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statementRaw);
            return false;
        }
        const Statement statement(statementRaw);
        sqlite3_stmt* row = statement.get();
        const int columns = sqlite3_column_count(row);
        while (sqlite3_step(row) == SQLITE_ROW) {
            for (int column = 0; column < columns; ++column) {
                if (sqlite3_column_type(row, column) == SQLITE_TEXT) {
                    sqlite3_column_text(row, column);
                    counts.textBytes += static_cast<std::size_t>(sqlite3_column_bytes(row, column));
                } else {
                    sqlite3_column_double(row, column);
                }
            }
            ++(sql == selectAssets ? counts.assetRows : counts.ruleRows);
        }
    }
    return true;
}

// One integer from a query, for the untimed check of what read() must return.
std::optional<std::int64_t> countOf(const fs::path& file, const char* sql) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Connection db(raw);
    if (opened != SQLITE_OK) return std::nullopt;
    sqlite3_stmt* statementRaw = nullptr;
    sqlite3_prepare_v2(db.get(), sql, -1, &statementRaw, nullptr);
    const Statement statement(statementRaw);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(statement.get(), 0);
}

int runSqlite(const fs::path& file, int rounds) {
    // read() keeps one entry per distinct portable_id among rows with a rating, colour or
    // play count, and every rules row whose container has a name.
    const auto expectedAssets = countOf(
        file,
        "SELECT COUNT(DISTINCT portable_id) FROM asset WHERE rating IS NOT NULL OR color IS NOT "
        "NULL OR dj_play_count IS NOT NULL");
    const auto expectedRules = countOf(
        file,
        "SELECT COUNT(*) FROM smart_crate_rules scr JOIN container c ON scr.container_id = c.id "
        "WHERE c.name IS NOT NULL AND scr.rules IS NOT NULL");
    if (!expectedAssets || !expectedRules) {
        std::fprintf(stderr, "bench_database: %s is not a Serato master.sqlite\n", file.c_str());
        return exitUsage;
    }

    std::optional<SeratoSQL::Library> library;
    StepCounts counts;
    const std::string shellSql = std::string(selectAssets) + "; " + selectRules + ";";
    const std::vector<Side> sides = {
        {"read",
         [&] {
             library.reset();
             const auto start = Clock::now();
             library = SeratoSQL::read(file);
             const double seconds = secondsSince(start);
             return library ? seconds : -1;
         }},
        {"sqlite3 shell",
         [&] {
             return timeCommand(
                 {.args = {"sqlite3", "-init", "/dev/null", "-batch", "-readonly", file.string(),
                           shellSql},
                  .keepStderr = true});
         }},
        {"step",
         [&] {
             const auto start = Clock::now();
             return stepAll(file, counts) ? secondsSince(start) : -1;
         }},
    };

    std::printf("sqlite bench: %s\n", file.c_str());
    const auto medians = runRounds("bench_database", sides, rounds);
    if (!medians) return exitUsage;
    const double read = (*medians)[0];
    const double shell = (*medians)[1];
    const double stepped = (*medians)[2];

    std::printf("---- summary (median of %d warm rounds) ----\n", rounds);
    std::printf("file                  %.2f MB, %zu asset rows, %zu rules rows, %.2f MB of text\n",
                static_cast<double>(fs::file_size(file)) / 1e6, counts.assetRows, counts.ruleRows,
                static_cast<double>(counts.textBytes) / 1e6);
    std::printf("read                  %9.3f ms (%zu assets, %zu smart crates)\n", read * 1e3,
                library->assets.size(), library->smartCrates.size());
    std::printf("sqlite3 shell         %9.3f ms\n", shell * 1e3);
    std::printf("step (no containers)  %9.3f ms\n", stepped * 1e3);
    std::printf("ratio read/shell      %.2fx\n", read / shell);
    std::printf("ratio read/step       %.2fx\n", read / stepped);
    std::printf("asset rows/second     %.3f M\n",
                static_cast<double>(counts.assetRows) / read / 1e6);

    if (library->assets.size() != static_cast<std::size_t>(*expectedAssets) ||
        library->smartCrates.size() != static_cast<std::size_t>(*expectedRules)) {
        std::printf(
            "MISMATCH: read returned %zu assets and %zu smart crates, expected %lld and %lld\n",
            library->assets.size(), library->smartCrates.size(),
            static_cast<long long>(*expectedAssets), static_cast<long long>(*expectedRules));
        return exitMismatch;
    }
    std::printf("counts                match\n");
    return exitOk;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Times splitting and joining database V2 and reading master.sqlite",
                 "bench_database"};
    app.require_subcommand(1);

    std::string generateDir;
    std::string schema;
    std::size_t records = 100'000;
    SqlShape shape;
    std::uint64_t seed = 1;
    auto* generateCommand = app.add_subcommand(
        "generate", "Write a synthetic 'database V2' and 'master.sqlite' into DIR");
    generateCommand->add_option("DIR", generateDir, "Folder to write into")->required();
    generateCommand->add_option("--schema", schema, "SQL that creates master.sqlite's tables")
        ->required()
        ->check(CLI::ExistingFile);
    generateCommand->add_option("--records", records, "Track records in database V2")
        ->capture_default_str();
    generateCommand->add_option("--assets", shape.assets, "Rows of the asset table")
        ->capture_default_str();
    generateCommand->add_option("--containers", shape.containers, "Crates, one in five smart")
        ->capture_default_str();
    generateCommand->add_option("--seed", seed, "Generator seed")->capture_default_str();

    std::string file;
    int rounds = 7;
    auto* databaseCommand = app.add_subcommand(
        "database", "Time records() and data() on FILE against readFile, a memory copy and cat");
    auto* sqliteCommand = app.add_subcommand(
        "sqlite", "Time SeratoSQL::read on FILE against the sqlite3 shell and bare stepping");
    for (auto* command : {databaseCommand, sqliteCommand}) {
        command->add_option("FILE", file, "File to measure")->required();
        command->add_option("--rounds", rounds, "Timed rounds after the warm-up")
            ->capture_default_str()
            ->check(CLI::Range(1, 1000));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exitOk : exitUsage;
    }

    try {
        if (*generateCommand) return runGenerate(generateDir, records, shape, schema, seed);
        if (*databaseCommand) return runDatabase(file, rounds);
        return runSqlite(file, rounds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_database: %s\n", error.what());
        return exitUsage;
    }
}
