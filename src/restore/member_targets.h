#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/backup_catalog.h"
#include "platform/mount_table.h"

namespace morrowdeck {

// Where one library of a backup goes back to in a restore "as it was": its tracks to their
// volume-relative paths below `root`, its crates, crate order and records to `serato`.
// A plain value.
struct MemberTarget {
    // How the target was found.
    enum class Found {
        home,    // the home member: the root volume and the home folder's library
        uuid,    // the connected volume with the member's file-system UUID
        label,   // the connected volume with the member's label
        mapped,  // given by the user (--map NAME=DIR, or the restore window)
        none     // nothing found: the restore cannot start until it is given
    };

    std::size_t member = 0;  // index into the catalog's members
    std::string name;
    std::filesystem::path root;    // empty when Found::none
    std::filesystem::path serato;  // the "_Serato_" folder written; empty when Found::none
    std::size_t files = 0;         // the files it gets back (a track in two crates is one)
    Found found = Found::none;

    bool operator==(const MemberTarget&) const = default;
};

namespace MemberTargets {

// The backup's libraries: the catalog's members, or for a catalog that lists none (a backup
// of one library from an earlier version) one member named "home".
std::vector<BackupCatalog::Member> membersOf(const BackupCatalog& catalog);

// Each library of the backup with its target, in member order: a mapping by its name wins
// (the folder is the root, its "_Serato_" the library); else the home member goes to the root
// volume with `homeLibrary` as its library; else a drive member goes to the mounted volume
// with its UUID, then to the one with its label (one volume only: two with that label are not
// guessed). A drive's library is "_Serato_" at the root it goes to.
std::vector<MemberTarget> resolve(const BackupCatalog& catalog,
                                  const std::map<std::string, std::filesystem::path>& maps,
                                  const std::vector<platform::Mount>& mounts,
                                  const std::filesystem::path& homeLibrary);

// Where a track of the backup goes back to, as it was: its library and its path below that
// library's root. A track a library lists on another drive the way macOS names it
// ("Volumes/NAME/…", in either normalisation form) goes to the library of that drive when the
// backup has one by that label or name; otherwise a track stays with its own library.
std::pair<std::size_t, std::string> placeOf(const BackupCatalog& catalog,
                                            const BackupCatalog::Track& track);

// "NAME=DIR" split at its first "=" (a name holds none, a folder may); absent when there is
// no "=" or either side is empty.
std::optional<std::pair<std::string, std::string>> parseMapping(const std::string& text);

// The words the dry run and the restore window use for how a target was found.
const char* foundText(MemberTarget::Found found);

}  // namespace MemberTargets

}  // namespace morrowdeck
