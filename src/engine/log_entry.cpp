#include "engine/log_entry.h"

namespace morrowdeck {

LogEntry::LogEntry(Level entryLevel, std::string text)
    : id(Uuid::random()),
      date(std::chrono::system_clock::now()),
      level(entryLevel),
      message(std::move(text)) {}

std::string_view levelName(LogEntry::Level level) {
    switch (level) {
        case LogEntry::Level::info:
            return "info";
        case LogEntry::Level::success:
            return "success";
        case LogEntry::Level::warning:
            return "warning";
        case LogEntry::Level::error:
            return "error";
    }
    return "info";
}

}  // namespace morrowdeck
