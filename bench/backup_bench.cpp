// bench_backup: generates a library of audio-sized (or small) files whose crates share a third
// of their tracks, and times BackupEngine against `cp -a` and `rsync -a` doing the same work on
// the same files, side by side in one run. Prints figures and ratios; it asserts nothing about
// speed.
//
//   generate DIR   writes DIR/Music/... and DIR/_Serato_/Subcrates/*.crate
//   backup LIB DEST  one backup through BackupEngine::execute, with its counters and peak RSS
//   measure LIB WORK  rounds of: first backup vs cp -a, re-run vs rsync -a, dedup vs cp -a + cp -al
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
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
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "backup/backup_engine.h"
#include "engine/drained_main_queue.h"
#include "library/crate_writer.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "support/page_cache.h"
#include "support/process.h"
#include "support/random.h"
#include "support/timing.h"

namespace {

using namespace morrowdeck;
namespace fs = std::filesystem;
using namespace morrowdeck::bench;

constexpr int exitOk = 0;
constexpr int exitMismatch = 1;
constexpr int exitUsage = 2;

constexpr std::string_view summaryFileName = "bench-backup.txt";

double gigabytes(std::int64_t bytes) {
    return static_cast<double>(bytes) / 1e9;
}

double megabytes(long kilobytes) {
    return static_cast<double>(kilobytes) * 1024.0 / 1e6;
}

// ---- the generated library ----

struct Shape {
    std::size_t files = 3000;  // audio-sized files
    double sizeMb = 2700;      // their total size (10^6 bytes)
    std::size_t small = 0;     // when set: this many small files instead
    double minKb = 4;          // small file sizes, KiB
    double maxKb = 64;
    std::size_t crates = 0;   // 0: one crate per 20 files
    std::size_t entries = 0;  // 0: a third of the files in two or three crates, the rest in one
    std::uint64_t seed = 1;
};

constexpr std::array<std::string_view, 10> groups = {
    "Genres",      "Gigs",          "Years",   "Moods",     "Clients",
    "Radio Shows", "Café Sessions", "Warm-up", "🔥 Bangers", "Requests"};
constexpr std::array<std::string_view, 16> styles = {
    "House",   "Deep House", "Tech House",  "Techno",    "Disco",    "Nu-Disco",
    "Hip-Hop", "R&B",        "Drum & Bass", "Reggaetón", "Afrobeat", "Funk",
    "Soul",    "Amapiano",   "UK Garage",   "Électro"};
constexpr std::array<std::string_view, 16> artists = {
    "Beyoncé",          "Sigur Rós",          "Kerri Chandler", "Black Coffee",
    "Frankie Knuckles", "Peggy Gou",          "坂本龍一",       "Four Tet",
    "Moodymann",        "Donna Summer",       "Bonobo",         "Fela Kuti",
    "Larry Heard",      "🎧 Late Night Tapes", "Rosalía",        "The Chemical Brothers"};
constexpr std::array<std::string_view, 7> extensions = {"mp3", "mp3", "mp3", "flac",
                                                        "wav", "m4a", "aiff"};

// Top-level crates and crates one level below a group; the first top-level crates carry a
// group's own name, so some crates have both tracks and child crates.
std::vector<std::string> crateComponents(std::size_t index) {
    if (index % 3 == 0) {
        const std::size_t topIndex = index / 3;
        if (topIndex < groups.size()) return {std::string(groups[topIndex])};
        return {std::string(styles[topIndex % styles.size()]) + " " + std::to_string(index + 1)};
    }
    return {std::string(groups[index % groups.size()]),
            std::string(styles[(index / groups.size()) % styles.size()]) + " " +
                std::to_string(index + 1)};
}

// "<root>/Music/<Artist>/<Artist> - Album 12/00145 <Artist> - Track 145 (Extended Mix).mp3":
// unique file names, so no crate folder receives two files of one name.
std::string trackPath(const fs::path& root, std::size_t index, Random& random) {
    const std::size_t album = index / 12;
    const std::string artist(artists[album % artists.size()]);
    char number[32];
    std::snprintf(number, sizeof number, "%05zu", index + 1);
    return (root / "Music" / artist / (artist + " - Album " + std::to_string(album + 1)) /
            (std::string(number) + " " + artist + " - Track " + std::to_string(index + 1) +
             (index % 4 == 0 ? " (Extended Mix)" : "") + "." +
             std::string(extensions[random.below(extensions.size())])))
        .native();
}

void writeRandomFile(const std::string& path, std::int64_t size, Random& random,
                     std::vector<std::uint64_t>& buffer) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    std::int64_t left = size;
    while (left > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size() * 8));
        for (std::size_t i = 0; i < (chunk + 7) / 8; ++i)
            buffer[i] = random.next();
        const char* data = reinterpret_cast<const char*>(buffer.data());
        std::size_t done = 0;
        while (done < chunk) {
            const ssize_t written = ::write(fd, data + done, chunk - done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                ::close(fd);
                throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
            }
            done += static_cast<std::size_t>(written);
        }
        left -= static_cast<std::int64_t>(chunk);
    }
    if (::close(fd) != 0) throw std::runtime_error("cannot write " + path);
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.native());
}

int runGenerate(const fs::path& dir, Shape shape) {
    const auto start = Clock::now();
    const bool small = shape.small > 0;
    const std::size_t fileCount = small ? shape.small : shape.files;
    if (fileCount == 0) throw std::runtime_error("no files to generate");
    if (small && (shape.minKb <= 0 || shape.maxKb < shape.minKb))
        throw std::runtime_error("--min-kb must be positive and at most --max-kb");
    const std::size_t crateCount =
        shape.crates > 0 ? shape.crates : std::max<std::size_t>(4, fileCount / 20);

    fs::create_directories(dir);
    const fs::path root = fs::canonical(dir);
    const fs::path serato = root / "_Serato_";
    if (fs::exists(serato)) throw std::runtime_error(serato.native() + " already exists");
    fs::create_directories(serato / "Subcrates");

    // Crate memberships: how many crates each file is in, then which ones (all distinct).
    Random random(shape.seed);
    std::vector<std::size_t> memberships(fileCount, 1);
    if (shape.entries > 0) {
        for (std::size_t i = 0; i < fileCount; ++i)
            memberships[i] = shape.entries / fileCount + (i < shape.entries % fileCount ? 1 : 0);
    } else {
        for (std::size_t i = 0; i < fileCount; i += 3)
            memberships[i] = 2 + random.below(2);
    }
    if (*std::max_element(memberships.begin(), memberships.end()) > crateCount)
        throw std::runtime_error("more crates per file than crates: raise --crates");

    std::vector<std::vector<std::uint32_t>> members(crateCount);
    std::vector<std::size_t> chosen;
    std::size_t shared = 0;
    for (std::size_t i = 0; i < fileCount; ++i) {
        chosen.clear();
        while (chosen.size() < memberships[i]) {
            const std::size_t crate = random.below(crateCount);
            if (std::find(chosen.begin(), chosen.end(), crate) == chosen.end())
                chosen.push_back(crate);
        }
        for (const std::size_t crate : chosen)
            members[crate].push_back(static_cast<std::uint32_t>(i));
        if (memberships[i] > 1) ++shared;
    }

    // The audio.
    std::vector<std::string> paths(fileCount);
    std::vector<std::uint64_t> buffer(1 << 17);  // 1 MiB
    std::int64_t totalBytes = 0;
    std::set<fs::path> folders;
    for (std::size_t i = 0; i < fileCount; ++i) {
        paths[i] = trackPath(root, i, random);
        const double size =
            small ? (shape.minKb + (shape.maxKb - shape.minKb) * random.unit()) * 1024.0
                  : shape.sizeMb * 1e6 / static_cast<double>(fileCount) *
                        (0.3 + 1.3 * random.unit()) / 0.95;
        const auto bytes = std::max<std::int64_t>(1, std::llround(size));
        const fs::path folder = fs::path(paths[i]).parent_path();
        if (folders.insert(folder).second) fs::create_directories(folder);
        writeRandomFile(paths[i], bytes, random, buffer);
        totalBytes += bytes;
    }

    // The crate files, tracks in shuffled order as a DJ's crates would list them.
    const std::string prefix = SeratoLibrary::volumeMountPrefix(serato);
    std::size_t entries = 0;
    for (std::size_t c = 0; c < crateCount; ++c) {
        auto& list = members[c];
        for (std::size_t i = list.size(); i > 1; --i)
            std::swap(list[i - 1], list[random.below(i)]);
        std::vector<std::string> relative;
        relative.reserve(list.size());
        for (const auto file : list)
            relative.push_back(CrateWriter::volumeRelativePath(paths[file], prefix));
        entries += list.size();
        writeBytes(serato / SeratoFolder::crateFolder /
                       SeratoFolder::crateFileName(crateComponents(c), false),
                   CrateWriter::crateData(relative));
    }

    std::ostringstream summary;
    summary << "files " << fileCount << "\nbytes " << totalBytes << "\ncrates " << crateCount
            << "\nentries " << entries << "\nshared " << shared << "\n";
    const std::string text = summary.str();
    writeBytes(root / summaryFileName, std::vector<std::uint8_t>(text.begin(), text.end()));

    std::printf("generated %s in %.1f s\n", root.c_str(), secondsSince(start));
    std::printf("  files      %zu %s, %.2f GB (%.3f MB on average)\n", fileCount,
                small ? "small" : "audio-sized", gigabytes(totalBytes),
                static_cast<double>(totalBytes) / 1e6 / static_cast<double>(fileCount));
    std::printf("  crates     %zu, nested one or two levels\n", crateCount);
    std::printf("  entries    %zu; %zu files in more than one crate\n", entries, shared);
    return exitOk;
}

// ---- the crates as the engine sees them ----

// Every crate read from a file, parents before their children: what the command-line backup
// selects when no crate is named.
void collectLeaves(const std::vector<Crate::Ptr>& crates, std::vector<Crate::Ptr>& out) {
    for (const auto& crate : crates) {
        if (crate->isLeaf()) out.push_back(crate);
        collectLeaves(crate->children, out);
    }
}

std::optional<fs::path> libraryFolder(const fs::path& at) {
    auto library = SeratoLibrary::resolveLibrary(at);
    if (!library) return std::nullopt;
    *library = library->lexically_normal();
    if (!library->has_filename()) *library = library->parent_path();
    return library;
}

std::string fileName(const std::string& track) {
    const std::size_t slash = track.rfind('/');
    return slash == std::string::npos ? track : track.substr(slash + 1);
}

std::string joinComponents(const std::vector<std::string>& components) {
    std::string joined;
    for (const auto& component : components)
        joined += (joined.empty() ? "" : "/") + component;
    return joined;
}

// The backup's layout: one folder per crate holding its tracks, and in the de-duplicated form
// one store copy per distinct source.
struct Layout {
    struct Folder {
        std::string relative;             // crate components joined with "/"
        std::vector<std::string> tracks;  // existing sources, crate order
    };
    std::vector<Folder> folders;
    std::vector<std::string> distinct;  // sorted
    std::size_t crates = 0;
    std::size_t entries = 0;
    std::size_t missing = 0;
    std::size_t shared = 0;  // sources in more than one crate
    std::int64_t entryBytes = 0;
    std::int64_t distinctBytes = 0;
};

Layout layoutOf(const std::vector<Crate::Ptr>& leaves) {
    Layout layout;
    std::map<std::string, std::pair<std::int64_t, std::size_t>> sources;  // size, crates
    for (const auto& crate : leaves) {
        if (crate->isSmart) continue;
        ++layout.crates;
        Layout::Folder folder{joinComponents(crate->components), {}};
        for (const auto& track : crate->tracks) {
            struct stat info {};
            if (::stat(track.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
                ++layout.missing;
                continue;
            }
            folder.tracks.push_back(track);
            ++layout.entries;
            layout.entryBytes += info.st_size;
            auto& source = sources[track];
            source.first = info.st_size;
            ++source.second;
        }
        layout.folders.push_back(std::move(folder));
    }
    for (const auto& [path, source] : sources) {
        layout.distinct.push_back(path);
        layout.distinctBytes += source.first;
        if (source.second > 1) ++layout.shared;
    }
    return layout;
}

std::string storePath(const fs::path& dest, const std::string& source) {
    return dest.native() + "/" + BackupOptions{}.storeFolderName + "/" +
           source.substr(source.find_first_not_of('/'));
}

// Reads every source and every file of the library folder (crates, database) once, so that
// all sides copy from the page cache and the engine loads its crates from it.
double warmUp(const Layout& layout, const fs::path& library) {
    const auto start = Clock::now();
    for (const auto& source : layout.distinct)
        readThrough(source);
    readTree(library);
    return secondsSince(start);
}

// ---- running the sides ----

// What one side cost: wall time from the first spawn to the last exit, the children's CPU
// time, and the largest child's peak resident set.
struct Totals {
    double seconds = 0;
    double cpuSeconds = 0;
    long maxRssKb = 0;
    std::size_t processes = 0;
    bool ok = true;
};

// Runs the phases one after the other; within a phase up to `jobs` commands run at once, in
// list order, as `xargs -P` would start them.
Totals runPhases(const std::vector<std::vector<Command>>& phases, std::size_t jobs) {
    Totals totals;
    const auto start = Clock::now();
    for (const auto& phase : phases) {
        std::size_t next = 0;
        std::size_t running = 0;
        while (next < phase.size() || running > 0) {
            while (running < jobs && next < phase.size()) {
                if (spawn(phase[next++]) < 0) {
                    totals.ok = false;
                    continue;
                }
                ++running;
                ++totals.processes;
            }
            if (running == 0) break;
            int status = 0;
            rusage usage{};
            const pid_t done = ::wait4(-1, &status, 0, &usage);
            if (done < 0) {
                if (errno == EINTR) continue;
                totals.ok = false;
                break;
            }
            --running;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) totals.ok = false;
            totals.cpuSeconds +=
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            totals.maxRssKb = std::max(totals.maxRssKb, usage.ru_maxrss);
        }
    }
    totals.seconds = secondsSince(start);
    return totals;
}

// `head... items...`, split like xargs into command lines of at most 128 KiB and, when
// maxItems is set, of at most that many items. `model` gives the output and working folder.
std::vector<Command> chunked(const std::vector<std::string>& head,
                             const std::vector<std::string>& items, const Command& model,
                             std::size_t maxItems = 0) {
    constexpr std::size_t maxBytes = 128 * 1024;
    std::size_t headBytes = 0;
    for (const auto& arg : head)
        headBytes += arg.size() + 1;
    std::vector<Command> commands;
    Command current;
    std::size_t bytes = 0;
    for (const auto& item : items) {
        const bool full = current.args.size() > head.size() &&
                          (bytes + item.size() + 1 > maxBytes ||
                           (maxItems > 0 && current.args.size() - head.size() >= maxItems));
        if (full) commands.push_back(std::move(current));
        if (full || current.args.empty()) {
            current = Command{head, model.output, model.folder};
            bytes = headBytes;
        }
        current.args.push_back(item);
        bytes += item.size() + 1;
    }
    if (current.args.size() > head.size()) commands.push_back(std::move(current));
    return commands;
}

std::vector<std::string> crateFolders(const Layout& layout, const fs::path& dest) {
    std::vector<std::string> folders;
    for (const auto& folder : layout.folders)
        folders.push_back((dest / folder.relative).native());
    return folders;
}

// `mkdir -p` of every crate folder, then one `cp -a FILES... FOLDER/` per crate. Messages go
// to `log`.
std::vector<std::vector<Command>> copyEverywhereCommands(const Layout& layout, const fs::path& dest,
                                                         const std::string& log) {
    const Command model{{}, log, {}};
    std::vector<Command> copies;
    for (const auto& folder : layout.folders) {
        for (auto& command : chunked({"cp", "-a", "-t", (dest / folder.relative).native(), "--"},
                                     folder.tracks, model))
            copies.push_back(std::move(command));
    }
    return {chunked({"mkdir", "-p", "--"}, crateFolders(layout, dest), model), std::move(copies)};
}

// `mkdir -p` of the crate folders and the store's folders (as the engine creates every folder
// before copying), `cp -a --parents` of each distinct source into the store (the same paths
// the engine's store uses), then one `cp -al STORE-FILES... FOLDER/` per crate. With jobs > 1
// the distinct sources are split into at least `jobs` commands so that all of them have work;
// the folders made beforehand keep parallel `cp --parents` from racing to create them.
// Messages go to `log`.
std::vector<std::vector<Command>> dedupCommands(const Layout& layout, const fs::path& dest,
                                                std::size_t jobs, const std::string& log) {
    const Command model{{}, log, {}};
    const std::string store = dest.native() + "/" + BackupOptions{}.storeFolderName;
    auto folders = crateFolders(layout, dest);
    std::set<std::string> storeFolders;
    for (const auto& source : layout.distinct)
        storeFolders.insert(fs::path(storePath(dest, source)).parent_path().native());
    folders.insert(folders.end(), storeFolders.begin(), storeFolders.end());
    // cp 9.1 fails to copy the parent folders' attributes for an absolute source with
    // --parents; sources relative to "/" give the same store paths and work.
    std::vector<std::string> relative;
    for (const auto& source : layout.distinct)
        relative.push_back(source.substr(source.find_first_not_of('/')));
    const std::size_t perCommand = jobs > 1 ? (relative.size() + jobs - 1) / jobs : 0;
    auto copies = chunked({"cp", "-a", "--parents", "-t", store, "--"}, relative,
                          Command{{}, log, "/"}, perCommand);
    std::vector<Command> links;
    for (const auto& folder : layout.folders) {
        std::vector<std::string> stored;
        for (const auto& track : folder.tracks)
            stored.push_back(storePath(dest, track));
        for (auto& command :
             chunked({"cp", "-al", "-t", (dest / folder.relative).native(), "--"}, stored, model))
            links.push_back(std::move(command));
    }
    return {chunked({"mkdir", "-p", "--"}, folders, model), std::move(copies), std::move(links)};
}

// `phases` followed by `sync -f DEST`: the engine does not call a backup done before its data
// is on the drive (it flushes the destination's file system before writing the manifest), so
// each side it is compared with waits for the same flush inside its timing.
std::vector<std::vector<Command>> thenFlush(std::vector<std::vector<Command>> phases,
                                            const fs::path& dest, const std::string& log) {
    phases.push_back({Command{{"sync", "-f", dest.native()}, log, {}}});
    return phases;
}

// The counters a `backup` child printed.
struct Counters {
    long long total = -1, copied = -1, skipped = -1, linked = -1, missing = -1, failed = -1;
};

Counters readCounters(const std::string& log) {
    Counters counters;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::sscanf(line.c_str(),
                    "files total %lld, copied %lld, skipped %lld, linked %lld, missing %lld, "
                    "failed %lld",
                    &counters.total, &counters.copied, &counters.skipped, &counters.linked,
                    &counters.missing, &counters.failed);
    }
    return counters;
}

// Checks that every crate entry is in its folder under dest with its source's size (and, for a
// de-duplicated backup, is the store file). Returns the first problem, or "".
std::string checkTree(const Layout& layout, const fs::path& dest, bool dedup) {
    for (const auto& folder : layout.folders) {
        for (const auto& track : folder.tracks) {
            const std::string copy = (dest / folder.relative).native() + "/" + fileName(track);
            struct stat source {};
            struct stat copied {};
            if (::stat(track.c_str(), &source) != 0 || ::stat(copy.c_str(), &copied) != 0)
                return "missing " + copy;
            if (copied.st_size != source.st_size) return "wrong size: " + copy;
            if (dedup) {
                struct stat stored {};
                if (::stat(storePath(dest, track).c_str(), &stored) != 0 ||
                    stored.st_ino != copied.st_ino)
                    return "not linked to the store: " + copy;
            }
        }
    }
    return "";
}

void removeTree(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
}

struct MeasureOptions {
    int rounds = 3;
    std::int64_t threads = 16;
    std::size_t jobs = 16;
    double settle = 1.0;
};

// Flushes what the previous side wrote and lets the disk go quiet, so that no side pays for
// another's writeback. Where the page cache can be dropped, it is, and the sources are read
// again, so that no side pays for the removal of another's tree either (see dropPageCache).
// `trees` are backups the next side reads (a re-run's destinations), read again likewise.
void settle(const MeasureOptions& options, const Layout& layout, const fs::path& library,
            const std::vector<fs::path>& trees = {}) {
    ::sync();
    if (dropPageCache()) {
        warmUp(layout, library);
        for (const auto& tree : trees)
            readTree(tree);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(options.settle));
}

std::string selfExecutable() {
    std::error_code error;
    const auto path = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string("bench_backup") : path.native();
}

class Measurement {
  public:
    Measurement(fs::path library, fs::path work, Layout layout, MeasureOptions options)
        : library_(std::move(library)),
          work_(std::move(work)),
          layout_(std::move(layout)),
          options_(options),
          self_(selfExecutable()) {
        fs::create_directories(work_ / "logs");
    }

    int run();

  private:
    struct Side {
        std::vector<double> seconds;
        std::vector<double> cpu;
        void add(const Totals& totals) {
            seconds.push_back(totals.seconds);
            cpu.push_back(totals.cpuSeconds);
        }
    };

    fs::path tree(const char* name) const { return work_ / name; }

    // Where a side's children write their messages: WORK/logs/<side>-<round>.txt.
    std::string log(const char* side, int round) const {
        return (work_ / "logs" / (std::string(side) + "-" + std::to_string(round) + ".txt"))
            .native();
    }

    Totals engine(const fs::path& dest, bool dedup, const std::string& logFile) {
        Command command{{self_, "backup", library_.native(), dest.native(), "--threads",
                         std::to_string(options_.threads)},
                        logFile,
                        {}};
        if (dedup) command.args.push_back("--dedup");
        const Totals totals = runPhases({{command}}, 1);
        peakRssKb_ = std::max(peakRssKb_, totals.maxRssKb);
        return totals;
    }

    // Records a problem and prints it with the first lines the side's processes wrote (the
    // run script removes the log folder when it ends).
    void fail(const std::string& what, const std::string& logFile = {}) {
        if (problem_.empty()) problem_ = what;
        std::printf("MISMATCH: %s\n", what.c_str());
        std::ifstream in(logFile);
        std::string line;
        for (int lines = 0; lines < 8 && std::getline(in, line); ++lines)
            std::printf("  | %s\n", line.c_str());
    }

    void expectCounters(const std::string& logFile, long long copied, long long skipped,
                        long long linked) {
        const Counters c = readCounters(logFile);
        if (c.copied != copied || c.skipped != skipped || c.linked != linked || c.failed != 0) {
            fail("engine counters: copied " + std::to_string(c.copied) + ", skipped " +
                     std::to_string(c.skipped) + ", linked " + std::to_string(c.linked) +
                     ", failed " + std::to_string(c.failed) + " (expected " +
                     std::to_string(copied) + ", " + std::to_string(skipped) + ", " +
                     std::to_string(linked) + ", 0)",
                 logFile);
        }
    }

    void expectTree(const fs::path& dest, bool dedup, const Totals& totals, const char* side,
                    const std::string& logFile) {
        if (!totals.ok) fail(std::string(side) + " reported an error", logFile);
        if (const auto problem = checkTree(layout_, dest, dedup); !problem.empty())
            fail(std::string(side) + ": " + problem);
    }

    void firstBackup(int round, Side& engineSide, Side& cpSide, Side& parallelSide);
    void rerun(int round, Side& engineSide, Side& rsyncSide);
    void dedupBackup(int round, Side& engineSide, Side& cpSide, Side& parallelSide);

    fs::path library_;
    fs::path work_;
    Layout layout_;
    MeasureOptions options_;
    std::string self_;
    long peakRssKb_ = 0;
    std::string problem_;
};

void Measurement::firstBackup(int round, Side& engineSide, Side& cpSide, Side& parallelSide) {
    const std::string cpLog = log("first-cp", round);
    const std::string parallelLog = log("first-cp16", round);
    const auto commands =
        thenFlush(copyEverywhereCommands(layout_, tree("cp"), cpLog), work_, cpLog);
    const auto parallelCommands =
        thenFlush(copyEverywhereCommands(layout_, tree("cp16"), parallelLog), work_, parallelLog);
    double engineSeconds = 0, cpSeconds = 0, parallelSeconds = 0;
    for (int step = 0; step < 3; ++step) {
        switch ((round + step) % 3) {
            case 0: {
                removeTree(tree("engine"));
                settle(options_, layout_, library_);
                const std::string engineLog = log("first-engine", round);
                const Totals totals = engine(tree("engine"), false, engineLog);
                engineSeconds = totals.seconds;
                engineSide.add(totals);
                expectTree(tree("engine"), false, totals, "engine", engineLog);
                expectCounters(engineLog, static_cast<long long>(layout_.entries), 0, 0);
                break;
            }
            case 1: {
                removeTree(tree("cp"));
                settle(options_, layout_, library_);
                const Totals totals = runPhases(commands, 1);
                cpSeconds = totals.seconds;
                cpSide.add(totals);
                expectTree(tree("cp"), false, totals, "cp -a", cpLog);
                break;
            }
            default: {
                settle(options_, layout_, library_);
                const Totals totals = runPhases(parallelCommands, options_.jobs);
                parallelSeconds = totals.seconds;
                parallelSide.add(totals);
                expectTree(tree("cp16"), false, totals, "cp -a parallel", parallelLog);
                removeTree(tree("cp16"));
                break;
            }
        }
    }
    std::printf(
        "round %d  first   engine %.3f s  cp -a %.3f s  cp -a x%zu %.3f s  "
        "engine/cp %.2fx  engine/cp x%zu %.2fx  load %s\n",
        round, engineSeconds, cpSeconds, options_.jobs, parallelSeconds, engineSeconds / cpSeconds,
        options_.jobs, engineSeconds / parallelSeconds, loadAverage().c_str());
    std::fflush(stdout);
}

void Measurement::rerun(int round, Side& engineSide, Side& rsyncSide) {
    // The rsync destination: an equal copy of the cp -a tree, brought fully up to date (folder
    // times included) by one untimed rsync pass.
    const std::string source = tree("cp").native() + "/";
    const std::string dest = tree("rsync").native() + "/";
    const Command rsync{{"rsync", "-a", source, dest}, log("rerun-rsync", round), {}};
    removeTree(tree("rsync"));
    Totals prepared = runPhases(
        {{Command{{"cp", "-a", tree("cp").native(), tree("rsync").native()}, rsync.output, {}}},
         {rsync}},
        1);
    if (!prepared.ok) fail("preparing the rsync tree failed", rsync.output);

    double engineSeconds = 0, rsyncSeconds = 0;
    for (int step = 0; step < 2; ++step) {
        // Both sides find their destinations in the page cache, as after the first backup;
        // rsync's source is the cp tree.
        settle(options_, layout_, library_, {tree("engine"), tree("cp"), tree("rsync")});
        if ((round + step) % 2 == 0) {
            const std::string engineLog = log("rerun-engine", round);
            const Totals totals = engine(tree("engine"), false, engineLog);
            engineSeconds = totals.seconds;
            engineSide.add(totals);
            if (!totals.ok) fail("engine re-run reported an error", engineLog);
            expectCounters(engineLog, 0, static_cast<long long>(layout_.entries), 0);
        } else {
            const Totals totals = runPhases({{rsync}}, 1);
            rsyncSeconds = totals.seconds;
            rsyncSide.add(totals);
            if (!totals.ok) fail("rsync re-run reported an error", rsync.output);
        }
    }
    std::printf("round %d  re-run  engine %.3f s  rsync -a %.3f s  engine/rsync %.2fx  load %s\n",
                round, engineSeconds, rsyncSeconds, engineSeconds / rsyncSeconds,
                loadAverage().c_str());
    std::fflush(stdout);
    removeTree(tree("rsync"));
    removeTree(tree("engine"));
    removeTree(tree("cp"));
}

void Measurement::dedupBackup(int round, Side& engineSide, Side& cpSide, Side& parallelSide) {
    double engineSeconds = 0, cpSeconds = 0, parallelSeconds = 0;
    for (int step = 0; step < 3; ++step) {
        settle(options_, layout_, library_);
        switch ((round + step) % 3) {
            case 0: {
                const std::string engineLog = log("dedup-engine", round);
                const Totals totals = engine(tree("engine-dedup"), true, engineLog);
                engineSeconds = totals.seconds;
                engineSide.add(totals);
                expectTree(tree("engine-dedup"), true, totals, "engine dedup", engineLog);
                expectCounters(engineLog, static_cast<long long>(layout_.distinct.size()), 0,
                               static_cast<long long>(layout_.entries));
                removeTree(tree("engine-dedup"));
                break;
            }
            case 1: {
                const std::string cpLog = log("dedup-cp", round);
                const Totals totals = runPhases(
                    thenFlush(dedupCommands(layout_, tree("cp-dedup"), 1, cpLog), work_, cpLog), 1);
                cpSeconds = totals.seconds;
                cpSide.add(totals);
                expectTree(tree("cp-dedup"), true, totals, "cp -a + cp -al", cpLog);
                removeTree(tree("cp-dedup"));
                break;
            }
            default: {
                const std::string parallelLog = log("dedup-cp16", round);
                const Totals totals = runPhases(
                    thenFlush(
                        dedupCommands(layout_, tree("cp16-dedup"), options_.jobs, parallelLog),
                        work_, parallelLog),
                    options_.jobs);
                parallelSeconds = totals.seconds;
                parallelSide.add(totals);
                expectTree(tree("cp16-dedup"), true, totals, "cp -a + cp -al parallel",
                           parallelLog);
                removeTree(tree("cp16-dedup"));
                break;
            }
        }
    }
    std::printf(
        "round %d  dedup   engine %.3f s  cp -a + cp -al %.3f s  x%zu %.3f s  "
        "engine/cp %.2fx  engine/cp x%zu %.2fx  load %s\n",
        round, engineSeconds, cpSeconds, options_.jobs, parallelSeconds, engineSeconds / cpSeconds,
        options_.jobs, engineSeconds / parallelSeconds, loadAverage().c_str());
    std::fflush(stdout);
}

void printAim(const char* label, double ratio, double aim) {
    std::printf("%-38s %6.2fx   aim <= %.2fx   %s\n", label, ratio, aim,
                ratio <= aim ? "met" : "MISSED");
}

int Measurement::run() {
    const std::string startLoad = loadAverage();
    const std::string jobs = std::to_string(options_.jobs);
    Side engineFirst, cpFirst, parallelFirst;
    Side engineRerun, rsyncRerun;
    Side engineDedup, cpDedup, parallelDedup;

    std::printf("\nfirst backup: %zu copies (%.2f GB); re-run: the same, all up to date\n",
                layout_.entries, gigabytes(layout_.entryBytes));
    for (int round = 1; round <= options_.rounds; ++round) {
        firstBackup(round, engineFirst, cpFirst, parallelFirst);
        rerun(round, engineRerun, rsyncRerun);  // on this round's first-backup trees
    }
    std::printf("\nde-duplicated backup: %zu store copies (%.2f GB) + %zu hard links\n",
                layout_.distinct.size(), gigabytes(layout_.distinctBytes), layout_.entries);
    for (int round = 1; round <= options_.rounds; ++round)
        dedupBackup(round, engineDedup, cpDedup, parallelDedup);

    const auto m = [](const Side& side) { return median(side.seconds); };
    const auto c = [](const Side& side) { return median(side.cpu); };
    std::printf("\n---- summary (median of %d warm rounds; %lld engine threads, cp x%zu) ----\n",
                options_.rounds, static_cast<long long>(options_.threads), options_.jobs);
    std::printf(
        "library                                %zu crates, %zu entries (%.2f GB), %zu distinct "
        "files (%.2f GB), %zu in more than one crate\n",
        layout_.crates, layout_.entries, gigabytes(layout_.entryBytes), layout_.distinct.size(),
        gigabytes(layout_.distinctBytes), layout_.shared);
    std::printf(
        "first backup  s (cpu s)               engine %.3f (%.2f)   cp -a %.3f (%.2f)   cp -a x%zu "
        "%.3f (%.2f)\n",
        m(engineFirst), c(engineFirst), m(cpFirst), c(cpFirst), options_.jobs, m(parallelFirst),
        c(parallelFirst));
    std::printf("re-run        s (cpu s)               engine %.3f (%.2f)   rsync -a %.3f (%.2f)\n",
                m(engineRerun), c(engineRerun), m(rsyncRerun), c(rsyncRerun));
    std::printf(
        "dedup backup  s (cpu s)               engine %.3f (%.2f)   cp -a + cp -al %.3f (%.2f)   "
        "x%zu %.3f (%.2f)\n",
        m(engineDedup), c(engineDedup), m(cpDedup), c(cpDedup), options_.jobs, m(parallelDedup),
        c(parallelDedup));
    printAim("ratio first backup / cp -a", m(engineFirst) / m(cpFirst), 0.6);
    std::printf("%-38s %6.2fx   (for information)\n",
                ("ratio first backup / cp -a x" + jobs).c_str(), m(engineFirst) / m(parallelFirst));
    printAim("ratio re-run / rsync -a re-run", m(engineRerun) / m(rsyncRerun), 0.5);
    printAim("ratio dedup / cp -a distinct + cp -al", m(engineDedup) / m(cpDedup), 1.0);
    std::printf("%-38s %6.2fx   (for information)\n",
                ("ratio dedup / the same with x" + jobs).c_str(),
                m(engineDedup) / m(parallelDedup));
    std::printf("%-38s %.1f MB (largest of all engine runs)\n", "peak RSS of the backup process",
                megabytes(peakRssKb_));
    std::printf("%-38s %s at the start, %s at the end\n", "load average (1, 5, 15 min)",
                startLoad.c_str(), loadAverage().c_str());
    if (!problem_.empty()) {
        std::printf("MISMATCH: %s\n", problem_.c_str());
        return exitMismatch;
    }
    std::printf("%-38s every side produced the same layout; engine counters as expected\n",
                "checks");
    return exitOk;
}

int runMeasure(const fs::path& at, const fs::path& work, const MeasureOptions& options) {
    const auto library = libraryFolder(at);
    if (!library) {
        std::fprintf(stderr, "bench_backup: no _Serato_ folder at %s\n", at.c_str());
        return exitUsage;
    }
    std::vector<Crate::Ptr> leaves;
    collectLeaves(SeratoLibrary::loadCrates(*library), leaves);
    Layout layout = layoutOf(leaves);
    if (layout.entries == 0) {
        std::fprintf(stderr, "bench_backup: the crates of %s list no existing file\n",
                     library->c_str());
        return exitUsage;
    }
    if (fs::exists(work) && !fs::is_empty(work)) {
        std::fprintf(stderr, "bench_backup: %s is not empty\n", work.c_str());
        return exitUsage;
    }
    fs::create_directories(work);
    const fs::path workFolder = fs::canonical(work);

    // The largest moment: the engine's and cp's trees plus the rsync copy of cp's tree.
    const std::int64_t needed = 3 * layout.entryBytes + layout.entryBytes / 10;
    struct statvfs volume {};
    if (::statvfs(workFolder.c_str(), &volume) == 0) {
        const auto free =
            static_cast<std::int64_t>(volume.f_bavail) * static_cast<std::int64_t>(volume.f_frsize);
        if (free < needed) {
            std::fprintf(stderr,
                         "bench_backup: %s has %.1f GB free; the measurement needs about %.1f GB\n",
                         workFolder.c_str(), gigabytes(free), gigabytes(needed));
            return exitUsage;
        }
    }

    std::printf("backup bench: %s -> %s\n", library->c_str(), workFolder.c_str());
    std::printf(
        "library   %zu crates, %zu entries (%.2f GB), %zu distinct files (%.2f GB), "
        "%zu in more than one crate, %zu missing\n",
        layout.crates, layout.entries, gigabytes(layout.entryBytes), layout.distinct.size(),
        gigabytes(layout.distinctBytes), layout.shared, layout.missing);
    const bool dropping = dropPageCache();
    const double warm = warmUp(layout, *library);
    std::printf(
        "warm-up   read every source and the library folder once in %.2f s: all sides copy "
        "from the page cache\n",
        warm);
    std::printf(
        "sides     engine: `bench_backup backup` child, %lld threads; cp: one `cp -a` per "
        "crate, in sequence and %zu at a time; every cp and rsync side ends with sync -f; "
        "before each side: sync, %s, %.1f s\n",
        static_cast<long long>(options.threads), options.jobs,
        dropping ? "page cache dropped and every source read again"
                 : "page cache kept (dropping it needs root)",
        options.settle);
    std::fflush(stdout);
    return Measurement(*library, workFolder, std::move(layout), options).run();
}

// ---- one backup ----

int runBackup(const fs::path& at, const fs::path& dest, bool dedup, std::int64_t threads) {
    const auto library = libraryFolder(at);
    if (!library) {
        std::fprintf(stderr, "bench_backup: no _Serato_ folder at %s\n", at.c_str());
        return exitUsage;
    }
    const auto start = Clock::now();
    std::vector<Crate::Ptr> crates;
    collectLeaves(SeratoLibrary::loadCrates(*library), crates);
    const double loadSeconds = secondsSince(start);
    std::size_t entries = 0;
    for (const auto& crate : crates)
        entries += crate->tracks.size();
    const long loadedRssKb = peakRssKb();

    BackupOptions options;
    options.duplicateMode = dedup ? DuplicateMode::dedupHardLink : DuplicateMode::copyEverywhere;
    options.threadCount = threads;
    BackupEngine engine(std::make_shared<DrainedMainQueue>());
    const auto executeStart = Clock::now();
    const BackupEngine::Snapshot snap =
        engine.execute(crates, dest, options, *library / "database V2");
    const double executeSeconds = secondsSince(executeStart);

    std::printf("backup   %s -> %s (%s), %lld threads\n", library->c_str(), dest.c_str(),
                dedup ? "de-duplicated with hard links" : "a copy in every crate folder",
                static_cast<long long>(threads));
    std::printf("crates   %zu with %zu entries, loaded in %.3f s; peak RSS after loading %.1f MB\n",
                crates.size(), entries, loadSeconds, megabytes(loadedRssKb));
    std::printf("execute  %.3f s (%.3f s with loading)\n", executeSeconds,
                executeSeconds + loadSeconds);
    std::printf(
        "files total %lld, copied %lld, skipped %lld, linked %lld, missing %lld, "
        "failed %lld\n",
        static_cast<long long>(snap.totalFiles), static_cast<long long>(snap.copiedFiles),
        static_cast<long long>(snap.skippedFiles), static_cast<long long>(snap.linkedFiles),
        static_cast<long long>(snap.missingFiles), static_cast<long long>(snap.failedFiles));
    std::printf("bytes    %.3f GB of entries, %.3f GB to copy, %.3f GB copied, %.3f GB skipped\n",
                gigabytes(snap.totalBytes), gigabytes(snap.bytesToCopy),
                gigabytes(snap.processedBytes), gigabytes(snap.skippedBytes));
    std::printf("peak RSS %.1f MB (%ld KiB)\n", megabytes(peakRssKb()), peakRssKb());
    return snap.failedFiles == 0 && !snap.cancelled ? exitOk : exitMismatch;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Times BackupEngine against cp -a and rsync -a on a generated library",
                 "bench_backup"};
    app.require_subcommand(1);

    std::string generateDir;
    Shape shape;
    auto* generateCommand =
        app.add_subcommand("generate", "Write DIR/Music/... and DIR/_Serato_/Subcrates/*.crate");
    generateCommand->add_option("DIR", generateDir, "Folder to create the library in")->required();
    generateCommand->add_option("--files", shape.files, "Audio-sized files")->capture_default_str();
    generateCommand
        ->add_option("--size-mb", shape.sizeMb, "Total size of the audio-sized files, MB")
        ->capture_default_str();
    generateCommand->add_option("--small", shape.small, "Small files instead of audio-sized ones");
    generateCommand->add_option("--min-kb", shape.minKb, "Smallest small file, KiB")
        ->capture_default_str();
    generateCommand->add_option("--max-kb", shape.maxKb, "Largest small file, KiB")
        ->capture_default_str();
    generateCommand->add_option("--crates", shape.crates, "Crate files (default: files / 20)");
    generateCommand->add_option(
        "--entries", shape.entries,
        "Crate entries in all, spread evenly over the files (default: a third of the files in "
        "two or three crates)");
    generateCommand->add_option("--seed", shape.seed, "Generator seed")->capture_default_str();

    std::string backupLibrary, backupDest;
    bool dedup = false;
    std::int64_t threads = 16;
    auto* backupCommand = app.add_subcommand("backup", "Run one backup of every crate");
    backupCommand->add_option("LIBRARY", backupLibrary, "Folder holding _Serato_")->required();
    backupCommand->add_option("DEST", backupDest, "Backup destination")->required();
    backupCommand->add_flag("--dedup", dedup, "One store copy per file plus hard links");
    backupCommand->add_option("--threads", threads, "Copy workers")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));

    std::string measureLibrary, measureWork;
    MeasureOptions measureOptions;
    auto* measureCommand =
        app.add_subcommand("measure", "Time backups against cp -a and rsync -a into WORK");
    measureCommand->add_option("LIBRARY", measureLibrary, "Folder holding _Serato_")->required();
    measureCommand->add_option("WORK", measureWork, "Empty folder for the copies")->required();
    measureCommand->add_option("--rounds", measureOptions.rounds, "Timed rounds")
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
    measureCommand->add_option("--threads", measureOptions.threads, "Engine copy workers")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));
    measureCommand
        ->add_option("--jobs", measureOptions.jobs, "cp processes at a time, parallel side")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));
    measureCommand
        ->add_option("--settle", measureOptions.settle, "Seconds of quiet before each side")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 60.0));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exitOk : exitUsage;
    }

    try {
        if (*generateCommand) return runGenerate(generateDir, shape);
        if (*backupCommand) return runBackup(backupLibrary, backupDest, dedup, threads);
        return runMeasure(measureLibrary, measureWork, measureOptions);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_backup: %s\n", error.what());
        return exitUsage;
    }
}
