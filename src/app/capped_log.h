#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "engine/log_entry.h"

namespace morrowdeck {

// Appends the entry to a window's activity log, first dropping the oldest entries so that at
// most `cap` remain. Returns how many were dropped, for the model's logAppended signal.
inline std::size_t appendCapped(std::vector<LogEntry>& log, LogEntry entry, std::size_t cap) {
    const std::size_t dropped = log.size() >= cap ? log.size() + 1 - cap : 0;
    log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(dropped));
    log.push_back(std::move(entry));
    return dropped;
}

}  // namespace morrowdeck
