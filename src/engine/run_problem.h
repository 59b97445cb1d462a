#pragma once

#include <string>
#include <string_view>

namespace morrowdeck {

// One file a run could not deal with, for scripts and summaries: the log line that names it
// stays, this is the same fact in fields.
struct RunProblem {
    enum class Kind {
        missing,       // the source file is not there
        failed,        // copying, linking or writing it failed
        skippedUnsafe  // its name would place a file outside the folder meant for it
    };

    std::string path;
    Kind kind = Kind::missing;
    std::string message;

    bool operator==(const RunProblem&) const = default;

    // "missing", "failed", "skipped-unsafe".
    static std::string_view rawValue(Kind kind) {
        switch (kind) {
            case Kind::missing:
                return "missing";
            case Kind::failed:
                return "failed";
            case Kind::skippedUnsafe:
                return "skipped-unsafe";
        }
        return "";
    }
};

}  // namespace morrowdeck
