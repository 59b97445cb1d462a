#include "library/library_finder.h"

#include <algorithm>
#include <functional>

#include "library/bounded_read.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/file_system.h"
#include "platform/home_folder.h"
#include "platform/mount_table.h"
#include "platform/path_text.h"

namespace morrowdeck::LibraryFinder {

namespace fs = std::filesystem;

namespace {

// Crates read from a file, from Serato's database or from both.
std::size_t countCrates(const std::vector<Crate::Ptr>& forest) {
    std::size_t count = 0;
    const std::function<void(const std::vector<Crate::Ptr>&)> walk = [&](const auto& crates) {
        for (const auto& crate : crates) {
            count += crate->isLeaf() && !crate->isNotInCrate;
            walk(crate->children);
        }
    };
    walk(forest);
    return count;
}

// The records of the database, counted by walking its top-level chunks: no record is decoded.
std::size_t countTracks(const fs::path& library, std::vector<std::string>& warnings) {
    const auto file = library / SeratoFolder::databaseFile;
    std::string reason;
    const auto bytes = readBoundedFile(file, maxMetadataBytes, reason);
    if (!reason.empty())
        warnings.push_back("Couldn't read Serato's track database " + platform::toUtf8(file) +
                           " (" + reason + "); its tracks are not counted.");
    if (!bytes) return 0;
    std::size_t count = 0;
    SeratoDatabase::eachChunk(*bytes, [&](std::string_view tag, auto) { count += tag == "otrk"; });
    return count;
}

FoundLibrary describe(const fs::path& folder, const platform::Mount* mount, bool onDrive,
                      const fs::path& home) {
    FoundLibrary found;
    found.folder = folder;
    found.onDrive = onDrive;
    found.drive = "This computer";
    if (mount) {
        found.mountPoint = platform::toPath(mount->mountPoint);
        found.fileSystem = mount->type;
        if (onDrive) {
            const std::string label = platform::volumeLabel(mount->source);
            found.drive = !label.empty() ? label : platform::toUtf8(found.mountPoint.filename());
        }
        found.hardLinks = !platform::lacksHardLinks(mount->type);
    }
    SeratoLibrary::LoadOptions options;
    options.masterDatabase = SeratoFolder::masterDatabase(home);
    found.crates = countCrates(SeratoLibrary::load(folder, options, &found.warnings).forest);
    found.tracks = countTracks(folder, found.warnings);
    return found;
}

bool contains(const fs::path& mountPoint, const fs::path& path) {
    return std::mismatch(mountPoint.begin(), mountPoint.end(), path.begin(), path.end()).first ==
           mountPoint.end();
}

}  // namespace

Places Places::system() {
    const std::string user = platform::userName();
    Places places{platform::homeFolder(), platform::systemMountTable, {}};
    if (!user.empty()) {
        places.driveFolders.push_back(fs::path("/media") / platform::toPath(user));
        places.driveFolders.push_back(fs::path("/run/media") / platform::toPath(user));
    }
    places.driveFolders.push_back("/mnt");
    return places;
}

std::vector<FoundLibrary> find(const Places& places) {
    const auto mounts = platform::readMountTable(places.mountTable);
    std::vector<FoundLibrary> found;

    if (const auto home = SeratoLibrary::resolveLibrary(places.home / "Music")) {
        // The mount holding the home folder: the longest mount point containing it, the
        // last of equals (a stacked mount) winning.
        const platform::Mount* holder = nullptr;
        for (const auto& mount : mounts) {
            if (contains(platform::toPath(mount.mountPoint), *home) &&
                (!holder || mount.mountPoint.size() >= holder->mountPoint.size()))
                holder = &mount;
        }
        found.push_back(describe(*home, holder, false, places.home));
    }

    std::vector<const platform::Mount*> drives;
    for (const auto& mount : mounts) {
        const fs::path point = platform::toPath(mount.mountPoint);
        // A drive is mounted in one of the drive folders, or is a root of its own that does not
        // hold the home folder (a drive letter on Windows).
        const bool isDrive = std::find(places.driveFolders.begin(), places.driveFolders.end(),
                                       point.parent_path()) != places.driveFolders.end() ||
                             (point == point.root_path() && !contains(point, places.home));
        if (!isDrive) continue;
        const auto same = std::find_if(drives.begin(), drives.end(), [&](const auto* drive) {
            return drive->mountPoint == mount.mountPoint;
        });
        if (same != drives.end()) {
            *same = &mount;
        } else {
            drives.push_back(&mount);
        }
    }
    for (const auto* drive : drives) {
        const fs::path folder = platform::toPath(drive->mountPoint) / SeratoFolder::name;
        if (platform::isDirectory(folder)) found.push_back(describe(folder, drive, true, places.home));
    }
    return found;
}

}  // namespace morrowdeck::LibraryFinder
