#include "restore/apply_step.h"

#include "engine/serato_error.h"
#include "library/bounded_read.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/serato_sql.h"
#include "library/serato_sql_json.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/processes.h"
#include "restore/library_writer.h"
#include "restore/restore_texts.h"
#include "restore/undo_journal.h"

namespace morrowdeck {

ApplyOutcome applyToSerato(const std::filesystem::path& seratoFolder,
                           const std::filesystem::path& proc,
                           const std::filesystem::path& databaseFile) {
    const auto serato = platform::seratoProcess(proc);
    if (serato == platform::SeratoProcess::running)
        return {SeratoError::seratoRunning().description()};

    const auto library = SeratoLibrary::resolveLibrary(seratoFolder).value_or(seratoFolder);
    const auto stagedFile = library / RestoreTexts::stagedFolder / RestoreTexts::stagedFile;
    std::string unreadable;
    const auto staged = readBoundedFile(stagedFile, maxMetadataBytes, unreadable);
    if (!unreadable.empty())
        return {"Couldn't read the staged data " + platform::toUtf8(stagedFile) + ": " +
                unreadable + "."};
    const auto decoded = staged
                             ? SeratoSQL::decodeJson(std::string_view(
                                   reinterpret_cast<const char*>(staged->data()), staged->size()))
                             : std::nullopt;
    if (!decoded)
        return {
            "No staged data found. Run a Restore first (from a backup that captured "
            "ratings/rules)."};

    const auto database = databaseFile.empty() ? SeratoFolder::masterDatabase() : databaseFile;
    if (!platform::itemExists(database)) {
        return {
            "Serato's database wasn't found. Open Serato once so it imports the restored library, "
            "then quit "
            "Serato and try again."};
    }
    // The database is saved into the library's undo folder before it changes; without that
    // copy nothing is changed.
    std::string problem;
    const auto journal = UndoJournal::begin(library, UndoIndex::Kind::apply, {}, problem);
    if (!journal) return {problem + " Nothing was applied."};
    SeratoSQL::ApplyResult result;
    problem = LibraryWriter::changeDatabase(*journal, database, [&] {
        result = SeratoSQL::apply(*decoded, database);
        return result.error.value_or("");
    });
    if (!result.error && !problem.empty()) {
        journal->discard();  // the save failed: nothing was changed, nothing to undo
        return {problem};
    }
    const int unrecorded = journal->finish();
    if (serato == platform::SeratoProcess::unknown)
        result.warnings.insert(result.warnings.begin(),
                               std::string(RestoreTexts::seratoStateUnknown));
    if (!problem.empty()) return {problem};
    return {"Applied " + std::to_string(result.assetsUpdated) + " rating/color update(s) and " +
                std::to_string(result.rulesWritten) +
                " smart-crate rule(s). Reopen Serato to see them." +
                (unrecorded == 0 ? std::string()
                                 : " The undo record could not be written: " +
                                       platform::errorText(unrecorded) + "."),
            true, result.assetsUpdated, result.rulesWritten, std::move(result.warnings)};
}

}  // namespace morrowdeck
