#pragma once

#include <stdexcept>
#include <string>
#include <variant>

#include "engine/progress_snapshot.h"

namespace morrowdeck {

// Why a run ended at its start checks; the description is what the models show.
struct RunFailure {
    std::string description;
};

// What an engine's completion receives: the final snapshot, or the start-check failure.
using RunResult = std::variant<ProgressSnapshot, RunFailure>;

// A file-system failure at an engine's start checks (for example the destination folder
// cannot be created), carrying the system's own explanation.
class PlatformError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace morrowdeck
