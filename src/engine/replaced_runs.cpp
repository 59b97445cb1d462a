#include "engine/replaced_runs.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <system_error>

#include "engine/backup_layout.h"
#include "platform/path_text.h"

namespace morrowdeck::ReplacedRuns {

namespace fs = std::filesystem;

fs::path folder(const fs::path& backupRoot) {
    return backupRoot / BackupLayout::metadataFolder / BackupLayout::replacedFolder;
}

std::string runName(TimePoint when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%SZ", &utc);
    return text;
}

std::optional<TimePoint> runTime(const std::string& name) {
    static constexpr std::string_view pattern = "dddd-dd-dd dd.dd.dd";
    const bool utc = name.size() == pattern.size() + 1 && name.back() == 'Z';
    if (name.size() != pattern.size() && !utc) return std::nullopt;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (pattern[i] == 'd' ? !digit : name[i] != pattern[i]) return std::nullopt;
    }
    const auto number = [&name](std::size_t at, std::size_t digits) {
        return std::stoi(name.substr(at, digits));
    };
    using namespace std::chrono;
    const year_month_day date{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                              day(static_cast<unsigned>(number(8, 2)))};
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    if (utc) return sys_days(date) + hours(hour) + minutes(minute) + seconds(second);
    // An earlier version's name: the local time of the machine that ran it, read as this
    // machine's local time now (the best there is; the zone was not recorded).
    std::tm local{};
    local.tm_year = static_cast<int>(date.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1)) return std::nullopt;
    return system_clock::from_time_t(when);
}

bool isRunName(const std::string& name) {
    return runTime(name).has_value();
}

namespace {

// The runs' folder names, oldest first (by time, then by name).
std::vector<std::string> runNames(const fs::path& backupRoot) {
    std::vector<std::pair<TimePoint, std::string>> runs;
    std::error_code error;
    for (fs::directory_iterator it(folder(backupRoot), error), end; !error && it != end;
         it.increment(error)) {
        std::string name = platform::toUtf8(it->path().filename());
        if (const auto when = runTime(name); when && it->is_directory(error))
            runs.emplace_back(*when, std::move(name));
    }
    std::sort(runs.begin(), runs.end());
    std::vector<std::string> names;
    names.reserve(runs.size());
    for (auto& run : runs)
        names.push_back(std::move(run.second));
    return names;
}

}  // namespace

std::vector<Run> list(const fs::path& backupRoot) {
    std::vector<Run> runs;
    for (const auto& name : runNames(backupRoot)) {
        Run run{name, {}};
        const fs::path top = folder(backupRoot) / platform::toPath(name);
        std::error_code error;
        // Links are not followed: a kept file is never a folder to descend into.
        for (fs::recursive_directory_iterator it(top, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_directory(error))
                run.files.push_back(platform::toUtf8(it->path().lexically_relative(top)));
        }
        std::sort(run.files.begin(), run.files.end());
        runs.push_back(std::move(run));
    }
    return runs;
}

std::size_t prune(const fs::path& backupRoot, std::size_t keep, const std::string& current) {
    auto names = runNames(backupRoot);
    // The current run is kept first, whatever time the others' names give (a clock that was
    // wrong once must not make the run under way the oldest).
    if (const auto found = std::find(names.begin(), names.end(), current); found != names.end()) {
        names.erase(found);
        if (keep > 0) --keep;
    }
    std::size_t removed = 0;
    for (std::size_t i = 0; i + keep < names.size(); ++i) {
        std::error_code error;
        fs::remove_all(folder(backupRoot) / platform::toPath(names[i]), error);
        if (!error) ++removed;
    }
    return removed;
}

}  // namespace morrowdeck::ReplacedRuns
