// BackupEngine: the metadata kept beside the audio. None of these steps can fail a backup:
// unreadable inputs skip a step, write errors are ignored, and the log lines say what was
// gathered.
#include <map>
#include <unordered_map>

#include "backup/backup_engine.h"
#include "engine/backup_layout.h"
#include "backup/backup_plan.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_sql.h"
#include "library/serato_sql_json.h"
#include "platform/file_system.h"

namespace morrowdeck {

void BackupEngine::captureLibrarySnapshot(const std::filesystem::path& root,
                                          const std::optional<std::filesystem::path>& databaseURL,
                                          const Plan& work) {
    if (!databaseURL) return;
    const auto database = platform::readFile(*databaseURL);
    if (!database) return;

    std::unordered_map<std::string, SeratoDatabase::Bytes> byPath;
    for (auto& entry : SeratoDatabase::records(*database))
        byPath[std::move(entry.path)] = std::move(entry.record);

    std::vector<SeratoDatabase::SnapshotPair> pairs;
    for (const auto& entry : work.entries) {
        if (const auto found = byPath.find(entry.pfilKey()); found != byPath.end()) {
            pairs.push_back({entry.relPath(), found->second});
        }
    }
    if (pairs.empty()) return;

    const auto folder = root / BackupLayout::metadataFolder;
    platform::createDirectories(folder);
    platform::writeFileAtomically(folder / BackupLayout::snapshotFileName,
                                  SeratoDatabase::snapshot(pairs));
    reporter_.log(LogEntry::Level::info, "Captured " + std::to_string(pairs.size()) +
                                             " track record(s) for an exact restore.");
}

void BackupEngine::captureSeratoMetadata(const std::filesystem::path& root, const Plan& work) {
    // Always the running user's own Serato database, whichever library was chosen.
    const auto library = SeratoSQL::read(SeratoFolder::masterDatabase());
    if (!library || (library->assets.empty() && library->smartCrates.empty())) return;

    SeratoSQL::Library captured;
    for (const auto& entry : work.entries) {
        if (const auto found = library->assets.find(entry.pfilKey());
            found != library->assets.end()) {
            captured.assets[entry.relPath()] = found->second;
        }
    }
    if (captured.assets.empty() && library->smartCrates.empty()) return;
    captured.smartCrates = library->smartCrates;

    const auto folder = root / BackupLayout::metadataFolder;
    platform::createDirectories(folder);
    platform::writeFileAtomically(folder / BackupLayout::seratoJsonFileName,
                                  SeratoSQL::encodeJson(captured));
    reporter_.log(LogEntry::Level::info, "Captured " + std::to_string(captured.assets.size()) +
                                             " rating/color record(s) and " +
                                             std::to_string(captured.smartCrates.size()) +
                                             " smart-crate rule(s).");
}

void BackupEngine::writeSmartCrateNotes(const std::filesystem::path& root) {
    platform::writeFileAtomically(
        root / BackupLayout::smartCratesFolder / BackupLayout::notesFileName,
        BackupLayout::smartCrateNotes);
}

}  // namespace morrowdeck
