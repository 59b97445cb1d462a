#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/uuid.h"

namespace morrowdeck {

// One line of an activity log. A plain value; both engines and both window models make them.
struct LogEntry {
    enum class Level { info, success, warning, error };

    Uuid id;
    std::chrono::system_clock::time_point date;
    Level level = Level::info;
    std::string message;

    LogEntry() = default;
    // A fresh id and the current time.
    LogEntry(Level level, std::string message);
};

// "info", "success", "warning" or "error".
std::string_view levelName(LogEntry::Level level);

}  // namespace morrowdeck
