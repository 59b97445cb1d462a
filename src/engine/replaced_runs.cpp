#include "engine/replaced_runs.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <system_error>

#include "engine/backup_layout.h"

namespace morrowdeck::ReplacedRuns {

namespace fs = std::filesystem;

fs::path folder(const fs::path& backupRoot) {
    return backupRoot / BackupLayout::metadataFolder / BackupLayout::replacedFolder;
}

std::string runName(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%S", &local);
    return text;
}

bool isRunName(const std::string& name) {
    static constexpr std::string_view pattern = "dddd-dd-dd dd.dd.dd";
    if (name.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (pattern[i] == 'd' ? !digit : name[i] != pattern[i]) return false;
    }
    return true;
}

namespace {

std::vector<std::string> runNames(const fs::path& backupRoot) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder(backupRoot), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().native();
        if (isRunName(name) && it->is_directory(error)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<Run> list(const fs::path& backupRoot) {
    std::vector<Run> runs;
    for (const auto& name : runNames(backupRoot)) {
        Run run{name, {}};
        const fs::path top = folder(backupRoot) / name;
        std::error_code error;
        // Links are not followed: a kept file is never a folder to descend into.
        for (fs::recursive_directory_iterator it(top, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_directory(error))
                run.files.push_back(it->path().lexically_relative(top).native());
        }
        std::sort(run.files.begin(), run.files.end());
        runs.push_back(std::move(run));
    }
    return runs;
}

std::size_t prune(const fs::path& backupRoot, std::size_t keep) {
    const auto names = runNames(backupRoot);
    std::size_t removed = 0;
    for (std::size_t i = 0; i + keep < names.size(); ++i) {
        std::error_code error;
        fs::remove_all(folder(backupRoot) / names[i], error);
        if (!error) ++removed;
    }
    return removed;
}

}  // namespace morrowdeck::ReplacedRuns
