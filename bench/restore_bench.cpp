// bench_restore: times RestoreEngine on a backup of a generated library, once with the
// backup's saved Serato records and once reading every file's tags, against `cp -a` of the
// same crate folders, side by side in one run. Prints figures and ratios; it asserts nothing
// about speed.
//
//   generate-wav DIR   writes DIR/Music/... of silent WAV files and DIR/_Serato_/Subcrates
//   measure LIB WORK   backs LIB up into WORK/backup once, then rounds of: restore with the
//                      saved records, restore reading tags, cp -a of the crate folders
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "backup/backup_engine.h"
#include "engine/backup_catalog.h"
#include "engine/backup_layout.h"
#include "engine/drained_main_queue.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/serato_library.h"
#include "platform/file_system.h"
#include "restore/restore_engine.h"
#include "silent_wav.h"
#include "support/page_cache.h"
#include "support/process.h"
#include "support/random.h"
#include "support/timing.h"

namespace {

using namespace morrowdeck;
using namespace morrowdeck::bench;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int exitOk = 0;
constexpr int exitMismatch = 1;
constexpr int exitUsage = 2;

double gigabytes(std::int64_t bytes) {
    return static_cast<double>(bytes) / 1e9;
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.native());
}

// ---- a library of silent WAV files ----

// A header and `dataBytes` of silence; the zeros are written through one reused buffer.
void writeSilentWav(const fs::path& path, std::uint32_t dataBytes, const Bytes& zeros) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path.native());
    const auto put = [&](const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd, data, size);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                ::close(fd);
                throw std::runtime_error("cannot write " + path.native());
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
    };
    const Bytes header = demo::silentWavHeader(2, 44100, dataBytes);  // 16-bit stereo, 44.1 kHz
    put(header.data(), header.size());
    for (std::uint32_t left = dataBytes; left > 0;) {
        const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(left, zeros.size()));
        put(zeros.data(), chunk);
        left -= chunk;
    }
    if (::close(fd) != 0) throw std::runtime_error("cannot write " + path.native());
}

constexpr std::array<std::string_view, 8> artists = {
    "Beyoncé",  "Sigur Rós", "Kerri Chandler", "坂本龍一",
    "Four Tet", "Rosalía",   "Fela Kuti",      "🎧 Late Night Tapes"};

// The shape of bench_backup's audio library with WAV files: sizes of 0.3 to 1.6 times the
// mean, one crate per 20 files, a third of the files in two or three crates.
int runGenerateWav(const fs::path& dir, std::size_t files, double sizeMb, std::uint64_t seed) {
    if (files == 0) throw std::runtime_error("no files to generate");
    const auto start = Clock::now();
    fs::create_directories(dir);
    const fs::path root = fs::canonical(dir);
    const fs::path serato = root / "_Serato_";
    if (fs::exists(serato)) throw std::runtime_error(serato.native() + " already exists");
    fs::create_directories(serato / "Subcrates");

    Random random(seed);
    const std::size_t crateCount = std::max<std::size_t>(4, files / 20);
    std::vector<std::vector<std::string>> members(crateCount);
    const std::string prefix = SeratoLibrary::volumeMountPrefix(serato);
    const Bytes zeros(1 << 20, 0);
    std::int64_t totalBytes = 0;
    std::size_t entries = 0;
    for (std::size_t i = 0; i < files; ++i) {
        const std::string artist(artists[(i / 12) % artists.size()]);
        char number[32];
        std::snprintf(number, sizeof number, "%05zu", i + 1);
        const fs::path folder =
            root / "Music" / artist / (artist + " - Album " + std::to_string(i / 12 + 1));
        fs::create_directories(folder);
        const fs::path file = folder / (std::string(number) + " " + artist + " - Track " +
                                        std::to_string(i + 1) + ".wav");
        const double size =
            sizeMb * 1e6 / static_cast<double>(files) * (0.3 + 1.3 * random.unit()) / 0.95;
        const auto dataBytes =
            static_cast<std::uint32_t>(std::max<long long>(4, std::llround(size) - 44) & ~3LL);
        writeSilentWav(file, dataBytes, zeros);
        totalBytes += 44 + dataBytes;

        const std::size_t count = i % 3 == 0 ? 2 + random.below(2) : 1;
        std::vector<std::size_t> chosen;
        while (chosen.size() < count) {
            const std::size_t crate = random.below(crateCount);
            if (std::find(chosen.begin(), chosen.end(), crate) == chosen.end())
                chosen.push_back(crate);
        }
        for (const std::size_t crate : chosen)
            members[crate].push_back(CrateWriter::volumeRelativePath(file, prefix));
        entries += count;
    }
    for (std::size_t c = 0; c < crateCount; ++c) {
        const std::string name =
            c % 3 == 0 ? "Set " + std::to_string(c + 1) : "Gigs%%Set " + std::to_string(c + 1);
        writeBytes(serato / "Subcrates" / (name + ".crate"), CrateWriter::crateData(members[c]));
    }
    std::printf("generated %s in %.1f s\n", root.c_str(), secondsSince(start));
    std::printf("  files      %zu silent WAV files, %.2f GB\n", files, gigabytes(totalBytes));
    std::printf("  crates     %zu with %zu entries\n", crateCount, entries);
    return exitOk;
}

// ---- the measurement ----

void collectLeaves(const std::vector<Crate::Ptr>& crates, std::vector<Crate::Ptr>& out) {
    for (const auto& crate : crates) {
        if (crate->isLeaf()) out.push_back(crate);
        collectLeaves(crate->children, out);
    }
}

void removeTree(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
}

// The Serato records the backup saves: one per distinct source, keyed like Serato's own
// database (the path without its leading "/"), with the values a scanned file would have.
Bytes databaseFor(const std::set<std::string>& sources) {
    std::vector<Bytes> records;
    records.reserve(sources.size());
    for (const auto& source : sources) {
        SeratoDatabase::Entry entry;
        entry.path = BackupLayout::pfilKey(source);
        const fs::path file(source);
        entry.ext = file.extension().native().substr(
            std::min<std::size_t>(1, file.extension().native().size()));
        entry.title = file.stem().native();
        entry.artist = file.parent_path().parent_path().filename().native();
        entry.album = file.parent_path().filename().native();
        entry.bpm = "124.00";
        entry.added = 1700000000;
        entry.mtime = 1700000000;
        records.push_back(SeratoDatabase::record(entry));
    }
    return SeratoDatabase::data(records);
}

struct MeasureOptions {
    int rounds = 3;
    double settle = 1.0;
    std::int64_t threads = 16;  // the restore's copy workers
};

class Measurement {
  public:
    Measurement(fs::path work, MeasureOptions options)
        : work_(std::move(work)), options_(options) {}

    int run(const fs::path& library, const std::vector<Crate::Ptr>& leaves);

  private:
    struct Restored {
        double seconds = 0;
        RestoreEngine::Snapshot snap;
    };

    // Flushes the previous side's writes; where the page cache can be dropped it is, and the
    // backed-up files are read again, so that no side pays for the removal of another's tree.
    void settle() const {
        ::sync();
        if (dropPageCache()) warmUp();
        std::this_thread::sleep_for(std::chrono::duration<double>(options_.settle));
    }

    // Reads every backed-up audio file once, then the rest of both backups (their listings
    // and saved metadata); the audio bytes read.
    std::int64_t warmUp() const {
        std::int64_t bytes = 0;
        for (const auto& file : audioPaths_)
            bytes += readThrough(file);
        for (const auto& folder : backups_)
            readTree(folder);
        return bytes;
    }

    Restored restore(const fs::path& backup, int round, const char* name);
    double copyWithCp(int round);
    void fail(const std::string& what) {
        if (problem_.empty()) problem_ = what;
        std::printf("MISMATCH: %s\n", what.c_str());
    }

    fs::path work_;
    MeasureOptions options_;
    std::vector<std::string> topLevel_;  // the backup's visible entries, what cp copies
    std::vector<fs::path> audioPaths_;   // every audio file a restore reads
    std::vector<fs::path> backups_;      // the backup with and without its saved records
    std::size_t audioFiles_ = 0;
    std::size_t distinctKeys_ = 0;
    std::string problem_;
};

Measurement::Restored Measurement::restore(const fs::path& backup, int round, const char* name) {
    const fs::path audio = work_ / ("audio-" + std::to_string(round));
    const fs::path serato = work_ / ("serato-" + std::to_string(round));
    removeTree(audio);
    removeTree(serato);
    settle();
    auto queue = std::make_shared<DrainedMainQueue>();
    Restored result;
    {
        RestoreEngine engine(queue);
        const auto start = Clock::now();
        result.snap =
            engine.execute(backup, audio, serato, ExistingFiles::replace, true, options_.threads);
        result.seconds = secondsSince(start);
    }
    queue->runPending();

    const auto& s = result.snap;
    if (s.failedFiles != 0 || s.cancelled)
        fail(std::string(name) + ": " + std::to_string(s.failedFiles) + " failed files");
    // The rebuilt database must hold one record per restored file.
    const auto database = platform::readFile(serato / "_Serato_" / "database V2");
    const std::size_t records = database ? SeratoDatabase::records(*database).size() : 0;
    if (records != distinctKeys_)
        fail(std::string(name) + ": database V2 holds " + std::to_string(records) +
             " records, expected " + std::to_string(distinctKeys_));
    removeTree(audio);
    removeTree(serato);
    return result;
}

double Measurement::copyWithCp(int round) {
    const fs::path dest = work_ / ("cp-" + std::to_string(round));
    removeTree(dest);
    fs::create_directories(dest);
    std::vector<std::string> args = {"cp", "-a", "-t", dest.native(), "--"};
    args.insert(args.end(), topLevel_.begin(), topLevel_.end());
    settle();
    const auto start = Clock::now();
    const bool ok = runCommand({.args = args, .output = (work_ / "cp.log").native()});
    const double seconds = secondsSince(start);
    if (!ok) fail("cp -a reported an error (see " + (work_ / "cp.log").native() + ")");
    removeTree(dest);
    return seconds;
}

int Measurement::run(const fs::path& library, const std::vector<Crate::Ptr>& leaves) {
    const std::string startLoad = loadAverage();

    // The backup, untimed: a copy in every crate folder plus the saved records.
    std::set<std::string> sources;
    for (const auto& crate : leaves)
        sources.insert(crate->tracks.begin(), crate->tracks.end());
    const fs::path databaseFile = work_ / "database V2";
    writeBytes(databaseFile, databaseFor(sources));
    const fs::path backup = work_ / "backup";
    {
        auto queue = std::make_shared<DrainedMainQueue>();
        BackupEngine engine(queue);
        const auto start = Clock::now();
        const auto snap = engine.execute(leaves, backup, BackupOptions{}, databaseFile);
        queue->runPending();
        std::printf(
            "backup    %s -> %s in %.1f s (untimed): %lld copied, %lld missing, %lld "
            "failed\n",
            library.c_str(), backup.c_str(), secondsSince(start),
            static_cast<long long>(snap.copiedFiles), static_cast<long long>(snap.missingFiles),
            static_cast<long long>(snap.failedFiles));
        if (snap.failedFiles != 0) fail("the backup failed for some files");
    }
    const fs::path snapshotFile = backup / ".morrowdeck" / "library.dbsnap";
    const auto snapshotBytes = platform::readFile(snapshotFile);
    if (!snapshotBytes) {
        std::fprintf(stderr, "bench_restore: the backup saved no records (%s)\n",
                     snapshotFile.c_str());
        return exitUsage;
    }
    const auto saved = SeratoDatabase::parseSnapshot(*snapshotBytes);

    // The same backup without its saved records: hard links, so no bytes are duplicated.
    const fs::path withoutRecords = work_ / "backup-tags";
    if (!runCommand({.args = {"cp", "-al", backup.native(), withoutRecords.native()},
                     .output = (work_ / "cp.log").native()}))
        throw std::runtime_error("cp -al of the backup failed");
    fs::remove(withoutRecords / ".morrowdeck" / "library.dbsnap");
    backups_ = {backup, withoutRecords};

    // What a restore reads: every audio file of every crate folder.
    std::vector<RestoreEngine::CrateEntry> entries;
    std::vector<fs::path> scrates;
    RestoreEngine::scan(backup, backup, entries, scrates, {".morrowdeck", ".ORVEL_Store"});
    std::size_t covered = 0;
    std::set<std::string> keys;
    const auto warmStart = Clock::now();
    for (const auto& entry : entries) {
        std::string folder;
        for (const auto& component : entry.components)
            folder += (folder.empty() ? "" : "/") + component;
        for (const auto& file : entry.files) {
            ++audioFiles_;
            if (saved.contains(folder + "/" + file.filename().native())) ++covered;
            keys.insert(folder + "/" + file.filename().native());
            audioPaths_.push_back(file);
        }
    }
    // Read once so that every side copies from the page cache.
    const bool dropping = dropPageCache();
    const std::int64_t bytes = warmUp();
    // One record per library track: files the catalog traces to one source are one track.
    distinctKeys_ = keys.size();
    if (const auto catalogBytes = platform::readFile(backup / ".morrowdeck" / "catalog.json"))
        if (const auto catalog = BackupCatalog::decode(*catalogBytes)) {
            std::set<std::string> traced;
            for (const auto& track : catalog->tracks)
                traced.insert(track.source);
            distinctKeys_ = traced.size();
        }
    const double warm = secondsSince(warmStart);
    for (const auto& child : fs::directory_iterator(backup)) {
        if (!child.path().filename().native().starts_with('.'))
            topLevel_.push_back(child.path().native());
    }
    // With the saved records only files they do not cover have their tags read; without
    // them, every file.
    const std::size_t tagsWith = audioFiles_ - covered;
    const std::size_t tagsWithout = audioFiles_;
    std::printf(
        "restore   %zu crate folders, %zu audio files (%.2f GB); saved records cover %zu of them "
        "(%zu records in the backup)\n",
        entries.size(), audioFiles_, gigabytes(bytes), covered, saved.size());
    std::printf("warm-up   read both backups once in %.2f s: all sides read from the page cache\n",
                warm);
    std::printf(
        "sides     restore (in this process, copies on %lld threads, overwrite and rebuild "
        "on) with saved records, the same reading tags, one `cp -a` of the crate "
        "folders; before each: sync, %s, %.1f s\n\n",
        static_cast<long long>(options_.threads),
        dropping ? "page cache dropped and every backed-up file read again"
                 : "page cache kept (dropping it needs root)",
        options_.settle);
    std::fflush(stdout);

    std::vector<double> withSide, withoutSide, cpSide;
    for (int round = 1; round <= options_.rounds; ++round) {
        double with = 0, without = 0, cp = 0;
        for (int step = 0; step < 3; ++step) {
            switch ((round + step) % 3) {
                case 0:
                    with = restore(backup, round, "restore with records").seconds;
                    break;
                case 1:
                    without = restore(withoutRecords, round, "restore reading tags").seconds;
                    break;
                default:
                    cp = copyWithCp(round);
                    break;
            }
        }
        withSide.push_back(with);
        withoutSide.push_back(without);
        cpSide.push_back(cp);
        std::printf(
            "round %d  with records %.3f s  reading tags %.3f s  cp -a %.3f s  "
            "with/cp %.2fx  tags/cp %.2fx  load %s\n",
            round, with, without, cp, with / cp, without / cp, loadAverage().c_str());
        std::fflush(stdout);
    }

    const double with = median(withSide), without = median(withoutSide), cp = median(cpSide);
    const double tagSeconds = without - with;
    std::printf("\n---- summary (median of %d warm rounds) ----\n", options_.rounds);
    std::printf("%-44s %zu audio files in %zu crate folders, %.2f GB\n", "restored", audioFiles_,
                entries.size(), gigabytes(bytes));
    std::printf("%-44s %.3f s\n", "restore with saved records", with);
    std::printf("%-44s %.3f s\n", "restore reading tags", without);
    std::printf("%-44s %.3f s\n", "cp -a of the crate folders", cp);
    std::printf("%-44s %6.2fx\n", "ratio restore with records / cp -a", with / cp);
    std::printf("%-44s %6.2fx\n", "ratio restore reading tags / cp -a", without / cp);
    std::printf("%-44s %zu (with records: %zu)\n", "files whose tags were read", tagsWithout,
                tagsWith);
    if (tagSeconds > 0) {
        std::printf("%-44s %.0f /s  (%zu files / %.3f s extra)\n", "tags read per second",
                    static_cast<double>(tagsWithout - tagsWith) / tagSeconds,
                    tagsWithout - tagsWith, tagSeconds);
    } else {
        std::printf("%-44s not measurable: reading tags was not slower (%.3f s)\n",
                    "tags read per second", tagSeconds);
    }
    std::printf("%-44s %.0f files/s, %.0f MB/s\n", "restore reading tags, whole run",
                static_cast<double>(audioFiles_) / without,
                static_cast<double>(bytes) / 1e6 / without);
    std::printf("%-44s %.0f files/s, %.0f MB/s\n", "restore with records, whole run",
                static_cast<double>(audioFiles_) / with, static_cast<double>(bytes) / 1e6 / with);
    std::printf("%-44s %s at the start, %s at the end\n", "load average (1, 5, 15 min)",
                startLoad.c_str(), loadAverage().c_str());
    if (!problem_.empty()) {
        std::printf("MISMATCH: %s\n", problem_.c_str());
        return exitMismatch;
    }
    std::printf("%-44s no failed file; every database V2 holds one record per file\n", "checks");
    return exitOk;
}

int runMeasure(const fs::path& at, const fs::path& work, const MeasureOptions& options) {
    auto library = SeratoLibrary::resolveLibrary(at);
    if (!library) {
        std::fprintf(stderr, "bench_restore: no _Serato_ folder at %s\n", at.c_str());
        return exitUsage;
    }
    std::vector<Crate::Ptr> leaves;
    collectLeaves(SeratoLibrary::loadCrates(*library), leaves);
    std::erase_if(leaves, [](const Crate::Ptr& crate) { return crate->isSmart; });
    if (leaves.empty()) {
        std::fprintf(stderr, "bench_restore: %s has no crates\n", library->c_str());
        return exitUsage;
    }
    if (fs::exists(work) && !fs::is_empty(work)) {
        std::fprintf(stderr, "bench_restore: %s is not empty\n", work.c_str());
        return exitUsage;
    }
    fs::create_directories(work);
    std::printf("restore bench: %s, load average %s\n", at.c_str(), loadAverage().c_str());
    return Measurement(fs::canonical(work), options).run(fs::canonical(at), leaves);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Times RestoreEngine with and without saved records against cp -a",
                 "bench_restore"};
    app.require_subcommand(1);

    std::string generateDir;
    std::size_t files = 3000;
    double sizeMb = 2700;
    std::uint64_t seed = 1;
    auto* generateCommand = app.add_subcommand(
        "generate-wav", "Write DIR/Music/... of silent WAV files and DIR/_Serato_ crates");
    generateCommand->add_option("DIR", generateDir, "Folder to create the library in")->required();
    generateCommand->add_option("--files", files, "WAV files")->capture_default_str();
    generateCommand->add_option("--size-mb", sizeMb, "Their total size, MB")->capture_default_str();
    generateCommand->add_option("--seed", seed, "Generator seed")->capture_default_str();

    std::string measureLibrary, measureWork;
    MeasureOptions options;
    auto* measureCommand = app.add_subcommand(
        "measure", "Back LIBRARY up into WORK, then time restores against cp -a");
    measureCommand->add_option("LIBRARY", measureLibrary, "Folder holding _Serato_")->required();
    measureCommand->add_option("WORK", measureWork, "Empty folder for the copies")->required();
    measureCommand->add_option("--rounds", options.rounds, "Timed rounds")
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
    measureCommand->add_option("--settle", options.settle, "Seconds of quiet before each side")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 60.0));
    measureCommand->add_option("--threads", options.threads, "The restore's copy workers")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exitOk : exitUsage;
    }
    try {
        if (*generateCommand) return runGenerateWav(generateDir, files, sizeMb, seed);
        return runMeasure(measureLibrary, measureWork, options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_restore: %s\n", error.what());
        return exitUsage;
    }
}
