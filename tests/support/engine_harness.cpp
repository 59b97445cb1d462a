#include "support/engine_harness.h"

#include "engine/stored_names.h"
#include "support/temp_dir.h"

namespace morrowdeck::test {

RunRecord runBackup(const std::vector<Crate::Ptr>& crates, const std::filesystem::path& destination,
                    const BackupOptions& options,
                    const std::optional<std::filesystem::path>& database,
                    std::function<void(BackupEngine&, const LogEntry&)> onLine) {
    BackupEngine engine(std::make_shared<ImmediateQueue>());
    return captureRun(
        engine,
        [&](auto onLog, auto onProgress, auto completion) {
            engine.run(crates, destination, options, database, onLog, onProgress, completion);
        },
        onLine);
}

std::string storeCopy(const std::string& source) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start < source.size()) {
        const std::size_t end = std::min(source.find('/', start), source.size());
        if (end > start) components.push_back(source.substr(start, end - start));
        start = end + 1;
    }
    return StoredNames().path(".ORVEL_Store", components);
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

std::string readText(const std::filesystem::path& file) {
    const auto bytes = readBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace morrowdeck::test
