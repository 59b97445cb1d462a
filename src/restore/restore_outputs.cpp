// RestoreEngine: the crate order file, the staged ratings and rules, and the notes file.
// A file that cannot be written is a failure with its own line; the rest goes on.
#include <algorithm>
#include <unordered_set>

#include "engine/backup_layout.h"
#include "library/crate_order.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/serato_sql_json.h"
#include "library/text_encoding.h"
#include "library/unicode_text.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"
#include "restore/restore_texts.h"

namespace morrowdeck {

// The crate order: the backed-up library's order where the backup saved it, then restored
// crates it does not list in the Finder-like order, then the target library's own crates.
// A crate restored from its saved file that the saved order leaves out was left out in the
// library it came from too, and stays so: Serato places such crates itself.
void RestoreEngine::writeCrateOrder(const Run& run,
                                    const std::vector<std::filesystem::path>& scrates) {
    if (run.crateNames.empty() && scrates.empty()) return;
    const auto saved =
        readMetadata(run.libraryFolder() / SeratoFolder::crateOrderFile, maxCrateBytes);
    std::vector<std::string> restored;
    for (const auto& [name, fromSavedFile] : run.crateNames)
        if (!saved || !fromSavedFile) restored.push_back(name);
    for (const auto& file : scrates)
        if (!saved || file.parent_path() != run.libraryFolder() / SeratoFolder::smartCrateFolder)
            restored.push_back(platform::toUtf8(file.stem()));
    const auto file = run.seratoRoot / SeratoFolder::crateOrderFile;
    std::optional<std::vector<std::uint8_t>> existing;
    if (!run.writer->readExisting(file, maxCrateBytes, existing)) return;
    auto savedOrder = saved ? CrateOrder::parse(*saved) : std::vector<std::string>{};
    // A folder per crate holds every library's crates: each further library's order adds the
    // crates the ones before it do not list.
    if (!run.place && run.catalog)
        for (std::size_t member = 1; member < run.catalog->members.size(); ++member) {
            const auto more = readMetadata(
                run.catalog->libraryFolder(run.metadataFolder(), member) /
                    SeratoFolder::crateOrderFile,
                maxCrateBytes);
            if (!more) continue;
            std::unordered_set<std::string> listed;
            for (const auto& name : savedOrder)
                listed.insert(text::nfcKey(name));
            for (auto& name : CrateOrder::parse(*more))
                if (listed.insert(text::nfcKey(name)).second) savedOrder.push_back(std::move(name));
        }
    if (!crates_.empty()) {
        // A restore of chosen crates lists only those of the saved order it restored: the
        // backup's other crates are not in this library.
        std::unordered_set<std::string> written;
        for (const auto& crate : run.crateNames)
            written.insert(text::nfcKey(crate.first));
        for (const auto& smart : scrates)
            written.insert(text::nfcKey(platform::toUtf8(smart.stem())));
        std::erase_if(savedOrder, [&](const std::string& name) {
            return !written.contains(text::nfcKey(name));
        });
    }
    const auto names = CrateOrder::merge(
        savedOrder, restored, existing ? CrateOrder::parse(*existing) : std::vector<std::string>{});

    run.writer->write(file, CrateOrder::data(names), 0);
}

std::size_t RestoreEngine::stageRatingsAndRules(const Run& run,
                                                const std::vector<std::filesystem::path>& scrates) {
    const auto json = readMetadata(run.metadataFolder() / BackupLayout::seratoJsonFileName);
    if (!json) return 0;
    std::vector<std::string> skipped;
    const auto library = SeratoSQL::decodeJson(
        std::string_view(reinterpret_cast<const char*>(json->data()), json->size()), &skipped);
    // One bad value costs only itself; the rest of the file is still restored.
    for (const auto& value : skipped)
        reporter_.log(LogEntry::Level::warning, std::string(BackupLayout::seratoJsonFileName) +
                                                    ": skipped the " + value + ".");
    if (!library) return 0;

    // The entries of one track (one per crate it is in) become its one record: the backup
    // keeps the database's columns of a track with one of them only.
    SeratoSQL::Library staged;
    for (const auto& [relPath, meta] : library->assets) {
        const auto found = run.pathMap.find(text::nfcKey(relPath));
        if (found == run.pathMap.end()) continue;
        auto& record = staged.assets[found->second];
        if (meta.rating) record.rating = meta.rating;
        if (meta.color) record.color = meta.color;
        if (meta.bpm) record.bpm = meta.bpm;
        if (meta.playCount) record.playCount = meta.playCount;
        if (!meta.fields.empty()) record.fields = meta.fields;
    }
    // The rules live in the computer's database: one library's restore stages them.
    if (!run.place || run.place->member == 0) staged.smartCrates = library->smartCrates;
    if (!crates_.empty()) {
        // Only the rules of the smart crates restored, known by file or display name.
        std::unordered_set<std::string> restored;
        for (const auto& smart : scrates) {
            const std::string stem = platform::toUtf8(smart.stem());
            restored.insert(text::nfcKey(stem));
            restored.insert(
                text::nfcKey(BackupLayout::joinComponents(SeratoLibrary::nameComponents(stem))));
        }
        std::erase_if(staged.smartCrates, [&](const SeratoSQL::SmartCrate& smart) {
            return !restored.contains(text::nfcKey(smart.name));
        });
    }
    if (staged.assets.empty() && staged.smartCrates.empty()) return 0;
    const auto rated = std::count_if(staged.assets.begin(), staged.assets.end(), [](const auto& a) {
        return a.second.rating || a.second.color || a.second.playCount;
    });

    const auto file = run.seratoRoot / RestoreTexts::stagedFolder / RestoreTexts::stagedFile;
    if (const int error = run.writer->createFolder(file.parent_path()); error != 0) {
        reporter_.countFailedWrite(platform::toUtf8(file), error);
        return 0;
    }
    if (run.writer->write(file, SeratoSQL::encodeJson(staged), maxMetadataBytes) != 0) return 0;
    reporter_.log(LogEntry::Level::info, "Staged " + std::to_string(rated) +
                                             " rating/color record(s) and " +
                                             std::to_string(staged.smartCrates.size()) +
                                             " rule(s) \u2014 finish with 'Apply to Serato'.");
    return staged.smartCrates.size();
}

void RestoreEngine::writeNotes(const Run& run) {
    const auto file = run.audioTarget / platform::toPath(RestoreTexts::notesFile);
    std::string notes(RestoreTexts::notesHeader);
    // Only a database that was written is one Serato can open; otherwise Read Tags is the way.
    notes += !run.databaseWritten             ? RestoreTexts::notesReadTags
             : run.mergedDatabase ? RestoreTexts::notesMerged
                                  : RestoreTexts::notesRebuilt;
    notes += RestoreTexts::notesClosing;
    run.writer->write(file, notes, maxCrateBytes, LibraryWriter::Kind::audio);
}

}  // namespace morrowdeck
