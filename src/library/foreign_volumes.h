#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morrowdeck {

// Finds here the drives that a library written on a Mac names by their mount point there.
// Serato on macOS stores a track on another drive as "Volumes/NAME/…" below the root; on this
// computer that drive is mounted elsewhere (/media/dj/NAME, or drive E: on Windows). A path
// "/Volumes/NAME/rest" whose "/Volumes/NAME" is no folder here becomes "MOUNT/rest" for the one
// volume mounted here under that name: its mount point's last component or its label,
// compared in composed form (macOS stores names decomposed). Any other path stays as it is.
//
// Threads: one loader at a time; the mounts are read once, at the first path that needs them.
class ForeignVolumes {
  public:
    // (name, mount point) of each volume mounted here; either may name it.
    using Mounted = std::vector<std::pair<std::string, std::string>>;

    explicit ForeignVolumes(std::function<Mounted()> mounted = systemVolumes,
                            std::function<bool(const std::string&)> isFolder = {});

    std::string map(std::string path);

    // The volumes this system mounts, each under its mount point's name and its label.
    static Mounted systemVolumes();

  private:
    std::function<Mounted()> mounted_;
    std::function<bool(const std::string&)> isFolder_;
    std::optional<Mounted> volumes_;
    std::map<std::string, std::optional<std::string>> byName_;  // name -> mount point here
};

}  // namespace morrowdeck
