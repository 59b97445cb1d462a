// RestoreEngine: the crate order file, the staged ratings and rules, and the notes file.
// None of these can fail a restore; write errors are ignored.
#include <algorithm>

#include "engine/backup_layout.h"
#include "library/name_order.h"
#include "library/serato_folder.h"
#include "library/serato_sql_json.h"
#include "library/text_encoding.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"
#include "restore/restore_texts.h"
#include "restore/saved_copy.h"

namespace morrowdeck {

void RestoreEngine::writeCrateOrder(const Run& run, const std::vector<CrateEntry>& entries,
                                    const std::vector<std::filesystem::path>& scrates) {
    std::vector<std::string> names;
    const auto add = [&](std::string name) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    };
    for (const auto& entry : entries) {
        add(SeratoFolder::crateBaseName(entry.components));
    }
    for (const auto& file : scrates)
        add(file.stem().native());
    if (names.empty()) return;
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return text::nameLess(a, b);
    });

    std::string lines = "[begin record]";
    for (const auto& name : names)
        lines += "\n[crate]" + name;
    saveOnce(run.seratoRoot / SeratoFolder::crateOrderFile,
             run.seratoRoot / RestoreTexts::crateOrderSaved);
    platform::writeFileAtomically(run.seratoRoot / SeratoFolder::crateOrderFile,
                                  text::encodeUtf16BE(lines));
}

std::size_t RestoreEngine::stageRatingsAndRules(const Run& run) {
    const auto json = platform::readFile(run.backupRoot / BackupLayout::metadataFolder /
                                         BackupLayout::seratoJsonFileName);
    if (!json) return 0;
    const auto library = SeratoSQL::decodeJson(
        std::string_view(reinterpret_cast<const char*>(json->data()), json->size()));
    if (!library) return 0;

    SeratoSQL::Library staged;
    for (const auto& [relPath, meta] : library->assets) {
        if (const auto found = run.pathMap.find(relPath); found != run.pathMap.end()) {
            staged.assets[found->second] = meta;
        }
    }
    if (staged.assets.empty() && library->smartCrates.empty()) return 0;
    staged.smartCrates = library->smartCrates;

    const auto folder = run.seratoRoot / RestoreTexts::stagedFolder;
    platform::createDirectories(folder);
    platform::writeFileAtomically(folder / RestoreTexts::stagedFile, SeratoSQL::encodeJson(staged));
    reporter_.log(LogEntry::Level::info, "Staged " + std::to_string(staged.assets.size()) +
                                             " rating/color record(s) and " +
                                             std::to_string(staged.smartCrates.size()) +
                                             " rule(s) \u2014 finish with 'Apply to Serato'.");
    return staged.smartCrates.size();
}

void RestoreEngine::writeNotes(const Run& run) {
    std::string notes(RestoreTexts::notesHeader);
    notes += run.rebuildDatabase && !run.recordTable.empty() ? RestoreTexts::notesRebuilt
                                                             : RestoreTexts::notesReadTags;
    notes += RestoreTexts::notesClosing;
    platform::writeFileAtomically(run.audioTarget / RestoreTexts::notesFile, notes);
}

}  // namespace morrowdeck
