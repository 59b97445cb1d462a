#pragma once

#include <string_view>

namespace morrowdeck::platform {

// Which backend serves this build, and what it can tell. Callers never need this to work: a
// service a backend lacks answers "unknown" or "none" through its own interface. Tests use it to
// skip, by name, what a build cannot do.
struct Backend {
    std::string_view name;        // "linux" or "posix"
    bool listsProcesses = false;  // seratoProcess() can answer running / not running
    bool readsVolumeLabels = false;
    bool readsMountInfo = false;  // readMountTable() understands /proc/self/mountinfo files
};

const Backend& backend();

}  // namespace morrowdeck::platform
