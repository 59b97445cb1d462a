// RestoreEngine: a fresh "database V2" from Serato's saved records or the files' tags.
#include <algorithm>
#include <chrono>

#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/tag_reader.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"
#include "restore/restore_texts.h"

namespace morrowdeck {

void RestoreEngine::recordStep(Run& run, const std::filesystem::path& destination,
                               const std::string& key, const std::string& relPath) {
    if (run.recordTable.contains(key)) return;
    if (const auto saved = run.snapshotTable.find(relPath); saved != run.snapshotTable.end()) {
        run.recordTable[key] = SeratoDatabase::record(saved->second, key);
        return;
    }
    std::uint32_t mtime = run.restoreTime;
    if (const auto info = platform::fileInfo(destination)) {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(info->mtime.time_since_epoch())
                .count();
        mtime = static_cast<std::uint32_t>(std::clamp<std::int64_t>(seconds, 0, 4294967295LL));
    }
    SeratoDatabase::Entry entry = SeratoDatabase::readTags(destination);
    entry.path = key;
    entry.added = run.restoreTime;
    entry.mtime = mtime;
    run.recordTable[key] = SeratoDatabase::record(entry);
}

void RestoreEngine::writeDatabase(Run& run) {
    reporter_.setPhase("Rebuilding Serato database\u2026");
    const auto file = run.seratoRoot / SeratoFolder::databaseFile;
    // A database that is there but cannot be read is never replaced by one of only the
    // restored tracks: the library's other records would be gone.
    std::optional<std::vector<std::uint8_t>> existing;
    if (!run.writer->readExisting(file, maxMetadataBytes, existing)) return;

    // The record table is keyed by path, so it is already in code-point order.
    std::vector<SeratoDatabase::Bytes> records;
    records.reserve(run.recordTable.size());
    for (const auto& [key, record] : run.recordTable)
        records.push_back(record);
    // Restoring into a library keeps its other tracks: restored records replace those of the
    // same path and every other record stays where it was.
    const std::size_t kept = existing ? SeratoDatabase::records(*existing).size() : 0;
    run.mergedDatabase = kept > 0;
    if (run.mergedDatabase)
        reporter_.log(LogEntry::Level::info, "Merging into the library's database V2, which has " +
                                                 std::to_string(kept) +
                                                 " track record(s): its other tracks stay.");
    const auto bytes = run.mergedDatabase ? SeratoDatabase::merge(*existing, records)
                                          : SeratoDatabase::data(records);
    run.databaseWritten = run.writer->write(file, bytes, 0) == 0;
}

}  // namespace morrowdeck
