#include "app/restore_model.h"

#include <QPointer>
#include <algorithm>
#include <fstream>
#include <string>
#include <utility>

#include "app/capped_log.h"
#include "app/retired_engines.h"
#include "engine/background_task.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/file_system.h"
#include "platform/home_folder.h"
#include "restore/restore_engine.h"
#include "restore/restore_status.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

const QString initialStatus = QStringLiteral("Choose a Morrowdeck backup folder to restore from.");

// Where folder choosers open: ~/Music when it exists, else the home folder.
fs::path chooserStart() {
    const fs::path home = platform::homeFolder();
    return platform::isDirectory(home / "Music") ? home / "Music" : home;
}

QString pathText(const std::optional<fs::path>& path) {
    return path ? QString::fromStdString(path->string()) : QString();
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
    bool isRunning = false;
    ProgressSnapshot progress;
    std::vector<LogEntry> log;
    QString statusMessage = initialStatus;
    bool isApplying = false;
    std::optional<QString> applyResult;
    bool canStart = false;  // last value signalled

    std::unique_ptr<RestoreEngine> engine;
    bool merges = false;
    std::uint64_t mergesGeneration = 0;  // counts requests; only the latest result is used
};

RestoreModel::RestoreModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), state_(std::make_unique<State>()) {
    state_->mainQueue = std::move(mainQueue);
    refreshMerges();
}

// Callbacks of the engine still queued, and those it posts while it stops, find the model
// gone and do nothing.
RestoreModel::~RestoreModel() {
    retireEngine(std::move(state_->engine));
}

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
    updateCanStart();
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

bool RestoreModel::isRunning() const {
    return state_->isRunning;
}
const ProgressSnapshot& RestoreModel::progress() const {
    return state_->progress;
}
const std::vector<LogEntry>& RestoreModel::log() const {
    return state_->log;
}
QString RestoreModel::statusMessage() const {
    return state_->statusMessage;
}
bool RestoreModel::isApplying() const {
    return state_->isApplying;
}
const std::optional<QString>& RestoreModel::applyResult() const {
    return state_->applyResult;
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
    return !state_->isRunning && !state_->isApplying && state_->backupURL &&
           state_->audioTargetURL && state_->seratoURL;
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
                          chooserStart(), true}))
        setBackupURL(*chosen);
}

void RestoreModel::chooseAudioTarget() {
    if (const auto chosen = chooseFolder(
            {QStringLiteral("Where to restore the audio"),
             QStringLiteral("Pick a folder (on this computer or a drive) to copy the music into."),
             chooserStart(), true}))
        setAudioTargetURL(*chosen);
}

void RestoreModel::chooseSerato() {
    if (const auto chosen = chooseFolder(
            {QStringLiteral("Serato library to restore into"),
             QStringLiteral("Pick where your _Serato_ lives (or a parent folder). It will be "
                            "created if missing."),
             chooserStart(), true}))
        setSeratoURL(*chosen);
}

std::optional<fs::path> RestoreModel::chooseFolder(const FolderRequest& request) const {
    if (!state_->chooseFolder) return std::nullopt;
    return state_->chooseFolder(request);
}

void RestoreModel::start() {
    if (!state_->backupURL || !state_->audioTargetURL || !state_->seratoURL) return;
    // A second run while one is under way would replace (and block on) the running engine;
    // a run during the apply step would write the library the apply is reading.
    if (state_->isRunning || state_->isApplying) return;
    if (!state_->log.empty()) {
        state_->log.clear();
        emit logCleared();
    }
    setProgress(ProgressSnapshot{});
    setRunning(true);

    state_->engine = std::make_unique<RestoreEngine>(state_->mainQueue);
    const QPointer<RestoreModel> self(this);
    state_->engine->run(
        *state_->backupURL, *state_->audioTargetURL, *state_->seratoURL, state_->overwrite,
        state_->rebuildDatabase,
        [self](const LogEntry& entry) {
            if (self) self->appendLog(entry);
        },
        [self](const ProgressSnapshot& snapshot) {
            if (self) self->setProgress(snapshot);
        },
        [self](const RunResult& result) {
            if (self) self->finishRun(result);
        });
}

void RestoreModel::finishRun(const RunResult& result) {
    setRunning(false);
    if (const auto* failure = std::get_if<RunFailure>(&result)) {
        setStatusMessage(QString::fromStdString(failure->description));
        appendLog(LogEntry(LogEntry::Level::error, failure->description));
    } else {
        const auto& snapshot = std::get<ProgressSnapshot>(result);
        setProgress(snapshot);
        // The option as it is now, also when it was changed during the run.
        setStatusMessage(
            QString::fromStdString(restoreStatusMessage(snapshot, state_->rebuildDatabase)));
    }
    // The engine's work thread has ended (its completion is posted last), so this joins at
    // once; the running callback is the queue's copy, not the engine's.
    state_->engine.reset();
    refreshMerges();  // the run may have written the database
}

void RestoreModel::cancel() {
    if (state_->engine) state_->engine->cancel();
    setStatusMessage(QStringLiteral("Cancelling…"));
}

void RestoreModel::applyToSerato() {
    // The apply reads what the restore stages, and two applies would race for the database.
    if (state_->isRunning || state_->isApplying) return;
    if (!state_->seratoURL) {
        setApplyResult(QStringLiteral("Choose your Serato library first."));
        return;
    }
    setApplying(true);
    setApplyResult(std::nullopt);
    const QPointer<RestoreModel> self(this);
    runInBackground<ApplyOutcome>(
        state_->mainQueue,
        [work = state_->applyWork, folder = *state_->seratoURL] { return work(folder); },
        [self](ApplyOutcome outcome) {
            if (!self) return;
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

void RestoreModel::setRunning(bool running) {
    if (running == state_->isRunning) return;
    state_->isRunning = running;
    emit isRunningChanged();
    updateCanStart();
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

void RestoreModel::setStatusMessage(const QString& text) {
    if (text == state_->statusMessage) return;
    state_->statusMessage = text;
    emit statusMessageChanged();
}

void RestoreModel::setProgress(const ProgressSnapshot& snapshot) {
    if (snapshot == state_->progress) return;
    state_->progress = snapshot;
    emit progressChanged();
}

void RestoreModel::appendLog(LogEntry entry) {
    emit logAppended(appendCapped(state_->log, std::move(entry), maxLogEntries));
}

void RestoreModel::updateCanStart() {
    const bool now = canStart();
    if (now == state_->canStart) return;
    state_->canStart = now;
    emit canStartChanged();
}

}  // namespace morrowdeck
