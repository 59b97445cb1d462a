#include "app/restore_model.h"

#include <QPointer>
#include <algorithm>
#include <fstream>
#include <string>
#include <utility>

#include "app/restore_texts.h"
#include "engine/background_task.h"
#include "engine/backup_catalog.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/path_text.h"
#include "restore/restore_engine.h"
#include "restore/restore_status.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

QString pathText(const std::optional<fs::path>& path) {
    return path ? QString::fromStdString(platform::toUtf8(*path)) : QString();
}

// True when the Serato library at (or inside) `folder` has a database V2 that starts like one
// holding at least one track record: the version chunk comes first and the first record right
// after it, so the head of the file tells without reading a database of many megabytes.
bool holdsTrackRecords(const fs::path& folder) {
    const auto library = SeratoLibrary::resolveLibrary(folder);
    if (!library) return false;
    const auto database = *library / SeratoFolder::databaseFile;
    if (!platform::isRegularFile(database)) return false;
    std::ifstream in(database, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return head.find("otrk") != std::string::npos;
}

// The backup's libraries and their targets; none when its catalog cannot be read.
std::vector<MemberTarget> resolveTargets(const fs::path& backup,
                                         const std::map<std::string, fs::path>& folders) {
    const auto catalog = BackupCatalog::read(backup);
    if (!catalog) return {};
    return MemberTargets::resolve(*catalog, folders, platform::readMountTable(),
                                  SeratoLibrary::defaultLibraryLocation());
}

// A log line as the command line prints it: "warning: …".
QString problemLine(const LogEntry& entry) {
    return QString::fromStdString(std::string(levelName(entry.level)) + ": " + entry.message);
}

}  // namespace

struct RestoreModel::State {
    std::shared_ptr<MainQueue> mainQueue;
    FolderChooser chooseFolder;
    ApplyWork applyWork = [](const fs::path& folder) { return morrowdeck::applyToSerato(folder); };

    std::optional<fs::path> backupURL;
    std::optional<fs::path> audioTargetURL;
    std::optional<fs::path> seratoURL = SeratoLibrary::defaultLibraryLocation();
    bool overwrite = true;
    bool rebuildDatabase = true;
    RunModel run{QStringLiteral("Choose a Morrowdeck backup folder to restore from.")};
    bool isApplying = false;
    std::optional<QString> applyResult;
    QStringList problemLines;
    bool userChoseBackup = false;  // the backup folder was chosen in the window, not given
    bool canStart = false;  // last value signalled
    bool showsPrompt = true;  // the status still asks for folders: no restore or undo began
    std::unique_ptr<UndoModel> undo;
    NoticeSource notices;

    bool merges = false;
    std::uint64_t mergesGeneration = 0;  // counts requests; only the latest result is used

    BackupCratesModel crates;
    std::uint64_t cratesGeneration = 0;  // counts backup choices; only the latest is shown

    Layout layout = Layout::crates;
    std::vector<MemberTarget> targets;
    std::map<std::string, fs::path> targetFolders;  // chosen in the window, by library name
    std::uint64_t targetsGeneration = 0;
};

RestoreModel::RestoreModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), state_(std::make_unique<State>()) {
    state_->mainQueue = std::move(mainQueue);
    state_->run.setRunningStatus(QStringLiteral("Restoring\u2026"));
    state_->undo = std::make_unique<UndoModel>(state_->mainQueue, state_->run);
    connect(&state_->run, &RunModel::isRunningChanged, this, &RestoreModel::updateCanStart);
    connect(&state_->run, &RunModel::isRunningChanged, this, [this] {
        if (state_->run.isRunning()) state_->notices.clear(Notice::Subject::run);
    });
    connect(state_->undo.get(), &UndoModel::isUndoingChanged, this, &RestoreModel::updateCanStart);
    connect(&state_->crates, &BackupCratesModel::checksChanged, this, &RestoreModel::updateCanStart);
    connect(&state_->run, &RunModel::logAppended, this, &RestoreModel::noteLogLine);
    connect(state_->undo.get(), &UndoModel::undoStarted, this, [this] {
        clearProblems();
        state_->run.setProgress(ProgressSnapshot{});
    });
    refreshMerges();
}

RestoreModel::~RestoreModel() = default;

void RestoreModel::setFolderChooser(FolderChooser chooser) {
    state_->chooseFolder = std::move(chooser);
}
void RestoreModel::setApplyWork(ApplyWork work) {
    state_->applyWork = std::move(work);
}

const std::optional<fs::path>& RestoreModel::backupURL() const {
    return state_->backupURL;
}
const std::optional<fs::path>& RestoreModel::audioTargetURL() const {
    return state_->audioTargetURL;
}
const std::optional<fs::path>& RestoreModel::seratoURL() const {
    return state_->seratoURL;
}

void RestoreModel::setBackupURL(std::optional<fs::path> url) {
    if (url == state_->backupURL) return;
    state_->backupURL = std::move(url);
    emit backupURLChanged();
    state_->targetFolders.clear();  // they named another backup's libraries
    refreshCrates();
    refreshTargets();
    updateCanStart();
}

RestoreModel::Layout RestoreModel::layout() const {
    return state_->layout;
}

void RestoreModel::setLayout(Layout layout) {
    if (layout == state_->layout) return;
    state_->layout = layout;
    emit layoutChanged();
    // Each layout starts from its own default for files already there: a folder per crate
    // takes the backup's, as it was keeps the drive's (Serato writes cues into them).
    setOverwrite(layout == Layout::crates);
    refreshTargets();  // a drive may have been plugged in since
    updateCanStart();
}

const std::vector<MemberTarget>& RestoreModel::targets() const {
    return state_->targets;
}

void RestoreModel::chooseTarget(std::size_t member) {
    if (member >= state_->targets.size()) return;
    const MemberTarget& target = state_->targets[member];
    if (const auto chosen = chooseFolder(
            {QStringLiteral("Where to restore %1").arg(QString::fromStdString(target.name)),
             QStringLiteral("Pick the drive or folder this library's tracks go back to, at "
                            "their own paths below it."),
             target.root.empty() ? FolderRequest::defaultStart() : target.root, true}))
        setTargetFolder(target.name, *chosen);
}

void RestoreModel::setTargetFolder(const std::string& name, const fs::path& folder) {
    state_->targetFolders[name] = folder;
    refreshTargets();
}

void RestoreModel::refreshTargets() {
    const auto generation = ++state_->targetsGeneration;
    if (!state_->backupURL) {
        if (!state_->targets.empty()) {
            state_->targets.clear();
            emit targetsChanged();
            updateCanStart();
        }
        return;
    }
    runInBackground<std::vector<MemberTarget>>(
        state_->mainQueue,
        [backup = *state_->backupURL, folders = state_->targetFolders] {
            return resolveTargets(backup, folders);
        },
        [self = QPointer<RestoreModel>(this), generation](std::vector<MemberTarget> targets) {
            if (!self || generation != self->state_->targetsGeneration ||
                targets == self->state_->targets)
                return;
            self->state_->targets = std::move(targets);
            emit self->targetsChanged();
            self->updateCanStart();
        });
}

void RestoreModel::refreshCrates() {
    const auto generation = ++state_->cratesGeneration;
    state_->crates.setCrates({});
    if (!state_->backupURL) return;
    runInBackground<std::vector<std::string>>(
        state_->mainQueue,
        [backup = *state_->backupURL] { return BackupCratesModel::cratesOf(backup); },
        [self = QPointer<RestoreModel>(this), generation](std::vector<std::string> paths) {
            if (!self || generation != self->state_->cratesGeneration) return;
            self->state_->crates.setCrates(paths);
        });
}

void RestoreModel::setBackupFolder(const std::optional<fs::path>& folder) {
    if (state_->userChoseBackup || state_->run.isRunning() || !folder) return;
    setBackupURL(folder);
}

void RestoreModel::setAudioTargetURL(std::optional<fs::path> url) {
    if (url == state_->audioTargetURL) return;
    state_->audioTargetURL = std::move(url);
    emit audioTargetURLChanged();
    updateCanStart();
}

void RestoreModel::setSeratoURL(std::optional<fs::path> url) {
    if (url == state_->seratoURL) return;
    state_->seratoURL = std::move(url);
    emit seratoURLChanged();
    updateCanStart();
    if (state_->merges) {  // it was another folder's
        state_->merges = false;
        emit mergesIntoExistingDatabaseChanged();
    }
    refreshMerges();
}

bool RestoreModel::overwrite() const {
    return state_->overwrite;
}
void RestoreModel::setOverwrite(bool overwrite) {
    if (overwrite == state_->overwrite) return;
    state_->overwrite = overwrite;
    emit overwriteChanged();
}

bool RestoreModel::rebuildDatabase() const {
    return state_->rebuildDatabase;
}
void RestoreModel::setRebuildDatabase(bool rebuild) {
    if (rebuild == state_->rebuildDatabase) return;
    state_->rebuildDatabase = rebuild;
    emit rebuildDatabaseChanged();
}

BackupCratesModel& RestoreModel::crates() {
    return state_->crates;
}
const BackupCratesModel& RestoreModel::crates() const {
    return state_->crates;
}
RunModel& RestoreModel::run() {
    return state_->run;
}
const RunModel& RestoreModel::run() const {
    return state_->run;
}
NoticeSource& RestoreModel::notices() {
    return state_->notices;
}
bool RestoreModel::isApplying() const {
    return state_->isApplying;
}
UndoModel& RestoreModel::undo() {
    return *state_->undo;
}
const UndoModel& RestoreModel::undo() const {
    return *state_->undo;
}
const std::optional<QString>& RestoreModel::applyResult() const {
    return state_->applyResult;
}
const QStringList& RestoreModel::problemLines() const {
    return state_->problemLines;
}

QString RestoreModel::backupPath() const {
    return pathText(state_->backupURL);
}
QString RestoreModel::audioTargetPath() const {
    return pathText(state_->audioTargetURL);
}
QString RestoreModel::seratoPath() const {
    return pathText(state_->seratoURL);
}
QString RestoreModel::applyResultText() const {
    return state_->applyResult.value_or(QString());
}

bool RestoreModel::canStart() const {
    if (!canUndo() || !state_->backupURL ||
        !(state_->crates.isEmpty() || state_->crates.anyChecked()))
        return false;
    if (state_->layout == Layout::crates) return state_->audioTargetURL && state_->seratoURL;
    const auto& targets = state_->targets;
    return !targets.empty() && std::none_of(targets.begin(), targets.end(), [](const auto& target) {
        return target.found == MemberTarget::Found::none;
    });
}

bool RestoreModel::canUndo() const {
    return !state_->run.isRunning() && !state_->isApplying && !state_->undo->isUndoing();
}

bool RestoreModel::showsUndoLastRestore() const {
    const auto& last = state_->undo->lastRun();
    return last && state_->seratoURL && last->chosenFolder == *state_->seratoURL;
}

bool RestoreModel::mergesIntoExistingDatabase() const {
    return state_->merges;
}

void RestoreModel::refreshMerges() {
    const auto use = [self = QPointer<RestoreModel>(this),
                      generation = ++state_->mergesGeneration](bool merges) {
        if (!self || generation != self->state_->mergesGeneration || merges == self->state_->merges)
            return;
        self->state_->merges = merges;
        emit self->mergesIntoExistingDatabaseChanged();
    };
    if (!state_->seratoURL) {
        use(false);
        return;
    }
    runInBackground<bool>(
        state_->mainQueue, [folder = *state_->seratoURL] { return holdsTrackRecords(folder); },
        use);
}

void RestoreModel::chooseBackup() {
    if (const auto chosen =
            chooseFolder({QStringLiteral("Choose the Morrowdeck backup folder"),
                          QStringLiteral("Select a folder you previously backed up into."),
                          FolderRequest::defaultStart(), true})) {
        state_->userChoseBackup = true;
        setBackupURL(*chosen);
    }
}

void RestoreModel::chooseAudioTarget() {
    if (const auto chosen = chooseFolder(
            {QStringLiteral("Where to restore the audio"),
             QStringLiteral("Pick a folder (on this computer or a drive) to copy the music into."),
             FolderRequest::defaultStart(), true}))
        setAudioTargetURL(*chosen);
}

void RestoreModel::chooseSerato() {
    if (const auto chosen = chooseFolder(
            {QStringLiteral("Serato library to restore into"),
             QStringLiteral("Pick where your _Serato_ lives (or a parent folder). It will be "
                            "created if missing."),
             FolderRequest::defaultStart(), true}))
        setSeratoURL(*chosen);
}

std::optional<fs::path> RestoreModel::chooseFolder(const FolderRequest& request) const {
    if (!state_->chooseFolder) return std::nullopt;
    return state_->chooseFolder(request);
}

void RestoreModel::start() {
    // A second run while one is under way would replace (and block on) the running engine;
    // a run during the apply step or an undo would write the library they are changing.
    if (!canStart()) return;
    clearProblems();
    const std::int64_t since = UndoModel::nowNs();
    // As it was, each library goes to its own target; the first's Serato folder is the one
    // whose run Undo Last Restore offers.
    const bool asItWas = state_->layout == Layout::asItWas;
    const auto targets = asItWas ? state_->targets : std::vector<MemberTarget>();
    const fs::path audio = asItWas ? fs::path() : *state_->audioTargetURL;
    const fs::path serato = asItWas ? targets.front().serato : *state_->seratoURL;
    state_->run.start<RestoreEngine>(
        std::make_unique<RestoreEngine>(state_->mainQueue),
        [backup = *state_->backupURL, audio, serato, targets,
         overwrite = state_->overwrite, rebuild = state_->rebuildDatabase,
         crates = state_->crates.chosenPaths()](RestoreEngine& engine,
                                                RunModel::Callbacks callbacks) {
            engine.setCrates(crates);
            engine.setTargets(targets);
            engine.run(backup, audio, serato,
                       overwrite ? ExistingFiles::replace : ExistingFiles::keep, rebuild,
                       std::move(callbacks.log), std::move(callbacks.progress),
                       std::move(callbacks.completion));
        },
        [this, since, serato](RestoreEngine&, const RunResult& result) {
            // The option as it is now, also when it was changed during the run.
            state_->run.report(result, [this](const ProgressSnapshot& snapshot) {
                return QString::fromStdString(
                    restoreStatusMessage(snapshot, state_->rebuildDatabase));
            });
            if (const auto* failure = std::get_if<RunFailure>(&result)) {
                state_->notices.show({Notice::Level::error, Notice::Subject::run,
                                      QString::fromStdString(failure->description),
                                      QStringLiteral("Fix this, then start the restore again."),
                                      Notice::Action::none});
            }
            dropEndLine(result);
            refreshMerges();  // the run may have written the database
            state_->undo->noteRunSince(serato, since);
        });
}

void RestoreModel::applyToSerato() {
    // The apply reads what the restore stages, and two applies (or an apply and an undo) would
    // race for the database.
    if (!canUndo()) return;
    if (!state_->seratoURL) {
        setApplyResult(QStringLiteral("Choose your Serato library first."));
        return;
    }
    setApplying(true);
    setApplyResult(std::nullopt);
    const QPointer<RestoreModel> self(this);
    const std::int64_t since = UndoModel::nowNs();
    runInBackground<ApplyOutcome>(
        state_->mainQueue,
        [work = state_->applyWork, folder = *state_->seratoURL] { return work(folder); },
        [self, since, serato = *state_->seratoURL](ApplyOutcome outcome) {
            if (!self) return;
            self->state_->undo->noteRunSince(serato, since);
            // Staged smart crates whose rules could not be written follow the message, one a
            // line, so a partial apply does not read as complete.
            QString text = QString::fromStdString(outcome.message);
            for (const auto& warning : outcome.warnings)
                text += QLatin1Char('\n') + QString::fromStdString(warning);
            self->setApplying(false);
            self->setApplyResult(text);
        },
        [](const std::string& why) { return ApplyOutcome{"The apply step failed: " + why}; });
}

void RestoreModel::undoLastRestore() {
    if (const auto& last = state_->undo->lastRun(); last && showsUndoLastRestore())
        undoRun(last->libraryRoot, last->id);
}

bool RestoreModel::undoRun(fs::path libraryRoot, std::string runId) {
    // An undo puts back files a restore or apply is writing.
    if (!canUndo()) return false;
    return state_->undo->undo(std::move(libraryRoot), std::move(runId));
}

void RestoreModel::setApplying(bool applying) {
    if (applying == state_->isApplying) return;
    state_->isApplying = applying;
    emit isApplyingChanged();
    updateCanStart();
}

void RestoreModel::setApplyResult(std::optional<QString> result) {
    if (result == state_->applyResult) return;
    state_->applyResult = std::move(result);
    emit applyResultChanged();
}

void RestoreModel::noteLogLine() {
    const RunModel& run = state_->run;
    if (run.log().empty() || !(run.isRunning() || state_->undo->isUndoing())) return;
    const LogEntry& entry = run.log().back();
    if (entry.level != LogEntry::Level::warning && entry.level != LogEntry::Level::error) return;
    state_->problemLines << problemLine(entry);
    emit problemLinesChanged();
}

void RestoreModel::dropEndLine(const RunResult& result) {
    // A run that went through ends with a line that sums it up, as a warning when something
    // went wrong; the status line says it already. A run that found nothing to restore (no file
    // counted) ends without one.
    const auto* snapshot = std::get_if<ProgressSnapshot>(&result);
    const RunModel& run = state_->run;
    if (!snapshot || (snapshot->totalFiles == 0 && !snapshot->cancelled) || run.log().empty() ||
        state_->problemLines.isEmpty())
        return;
    const LogEntry& last = run.log().back();
    if (state_->problemLines.last() !=
        problemLine(last))
        return;
    state_->problemLines.removeLast();
    emit problemLinesChanged();
}

void RestoreModel::clearProblems() {
    setApplyResult(std::nullopt);
    if (state_->problemLines.isEmpty()) return;
    state_->problemLines.clear();
    emit problemLinesChanged();
}

void RestoreModel::updateCanStart() {
    // Until a first run, the status says what is still to choose; after one it keeps the
    // outcome until the next.
    if (state_->run.isRunning() || state_->undo->isUndoing()) state_->showsPrompt = false;
    if (state_->showsPrompt) {
        const bool asItWas = state_->layout == Layout::asItWas;
        const bool hasCrates = state_->crates.isEmpty() || state_->crates.anyChecked();
        QString prompt = restoreText::readyPrompt(
            state_->backupURL.has_value(), asItWas || state_->audioTargetURL.has_value(),
            asItWas || state_->seratoURL.has_value(), hasCrates);
        if (asItWas && state_->backupURL && hasCrates && canUndo() && !canStart())
            prompt = QStringLiteral("Choose where each library goes back to.");
        state_->run.setStatusMessage(prompt);
    }
    const bool now = canStart();
    if (now == state_->canStart) return;
    state_->canStart = now;
    emit canStartChanged();
}

}  // namespace morrowdeck
