// RestoreEngine: putting the backup's copy of Serato's database back, the run's last step.
#include "library/serato_folder.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"
#include "restore/restore_run.h"

namespace morrowdeck {

bool RestoreEngine::putSeratoDatabase(const Run& run, UndoJournal& journal) {
    if (!seratoDatabase_ || reporter_.isCancelled()) return false;
    reporter_.setPhase("Putting back Serato's database\u2026");
    const auto outcome = SeratoDatabaseRestore::put(run.backupRoot, *seratoDatabase_, journal);
    for (const auto& warning : outcome.warnings)
        reporter_.log(LogEntry::Level::warning, warning);
    if (outcome.written) {
        reporter_.log(LogEntry::Level::info, outcome.message);
        return true;
    }
    const auto database = seratoDatabase_->database.empty() ? SeratoFolder::masterDatabase()
                                                            : seratoDatabase_->database;
    reporter_.countFailure({platform::toUtf8(database), RunProblem::Kind::failed, outcome.message},
                           LogEntry::Level::error, outcome.message);
    return false;
}

}  // namespace morrowdeck
