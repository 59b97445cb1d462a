#include "support/engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/temp_dir.h"

namespace morrowdeck::test {

bool RunRecord::logged(const std::string& message) const {
    return std::any_of(log.begin(), log.end(),
                       [&](const LogEntry& entry) { return entry.message == message; });
}

std::size_t RunRecord::count(LogEntry::Level level) const {
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const LogEntry& entry) { return entry.level == level; }));
}

RunRecord runBackup(const std::vector<Crate::Ptr>& crates, const std::filesystem::path& destination,
                    const BackupOptions& options, const std::optional<std::filesystem::path>& database,
                    std::function<void(BackupEngine&, const LogEntry&)> onLine) {
    BackupEngine engine(std::make_shared<ImmediateQueue>());
    return captureRun(
        engine,
        [&](auto onLog, auto onProgress, auto completion) {
            engine.run(crates, destination, options, database, onLog, onProgress, completion);
        },
        onLine);
}

Crate::Ptr makeCrate(std::vector<std::string> components, std::vector<std::string> tracks,
                     bool smart, std::optional<std::filesystem::path> file) {
    auto crate = std::make_shared<Crate>();
    crate->id = Uuid::random();
    crate->name = components.empty() ? std::string() : components.back();
    crate->components = std::move(components);
    crate->tracks = std::move(tracks);
    crate->isSmart = smart;
    crate->crateFileURL = std::move(file);
    return crate;
}

void writeSized(const std::filesystem::path& file, std::size_t size, char seed) {
    std::string content(size, seed);
    for (std::size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>(seed + static_cast<char>(i % 23));
    writeFile(file, content);
}

std::string readText(const std::filesystem::path& file) {
    const auto bytes = readBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace morrowdeck::test
