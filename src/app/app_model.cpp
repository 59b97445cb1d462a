#include "app/app_model.h"

#include <algorithm>
#include <numeric>
#include <system_error>
#include <utility>

#include "app/capped_log.h"
#include "app/pane_texts.h"
#include "app/retired_engines.h"
#include "backup/backup_engine.h"
#include "engine/background_task.h"
#include "library/crate_index.h"
#include "library/formatting.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/serato_library_tracks.h"
#include "platform/file_operations.h"
#include "platform/home_folder.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

const QString initialStatus = QStringLiteral("Locate your Serato library to begin.");

// What a background load hands back to the UI thread.
struct LoadedLibrary {
    std::shared_ptr<const CrateIndex> index;
    std::size_t trackReferences = 0;
    std::vector<std::string> warnings;
};

LoadedLibrary loadLibrary(const fs::path& library) {
    LoadedLibrary loaded;
    auto forest = SeratoLibrary::withNotInCrate(
        SeratoLibrary::loadCrates(library, &loaded.warnings), library, &loaded.warnings);
    for (const auto& crate : forest)
        loaded.trackReferences += crate->totalTrackCount();
    loaded.index = std::make_shared<const CrateIndex>(std::move(forest));
    return loaded;
}

// Where folder choosers open: ~/Music when it exists, else the home folder.
fs::path chooserStart() {
    const fs::path home = platform::homeFolder();
    std::error_code error;
    return fs::is_directory(home / "Music", error) ? home / "Music" : home;
}

QString pathText(const std::optional<fs::path>& path) {
    return path ? QString::fromStdString(path->string()) : QString();
}

}  // namespace

struct AppModel::State {
    std::shared_ptr<MainQueue> mainQueue;
    FolderChooser chooseFolder;
    Revealer reveal;

    std::optional<fs::path> libraryURL;
    std::optional<fs::path> destinationURL;
    CrateSelection selection;  // holds the index, and through it the forest
    BackupOptions options;
    QString searchText;
    bool isLoading = false;
    ProgressSnapshot progress;
    std::vector<LogEntry> log;
    bool isRunning = false;
    QString statusMessage = initialStatus;
    bool canStart = false;  // last value signalled

    std::unique_ptr<BackupEngine> engine;
    // The destination of the latest run, which "Show in File Manager" opens after it.
    std::optional<fs::path> runDestination;
    // Damaged crate files of the loaded library; they also head every run's log.
    std::vector<std::string> loadWarnings;
    // Counts loads; a completion whose number is no longer current is ignored.
    std::uint64_t loadGeneration = 0;

    Confirmer confirm;
    std::optional<RunPreview> preview;
    std::uint64_t previewGeneration = 0;  // counts changes that need a new plan
    bool previewRunning = false;
    std::vector<FoundLibrary> foundLibraries;
    std::optional<LibraryFinder::Places> libraryPlaces;  // the system's when absent
    std::uint64_t findGeneration = 0;                    // as loadGeneration, for searches
    FreeSpaceQuery freeSpace = platform::freeSpace;
    std::optional<std::int64_t> destinationFree;
    std::uint64_t freeGeneration = 0;  // as loadGeneration, for free-space queries
};

AppModel::AppModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), state_(std::make_unique<State>()) {
    state_->mainQueue = std::move(mainQueue);
}

// Callbacks of the engine still queued, and those it posts while it stops, find the model
// gone and do nothing.
AppModel::~AppModel() {
    retireEngine(std::move(state_->engine));
}

void AppModel::setFolderChooser(FolderChooser chooser) {
    state_->chooseFolder = std::move(chooser);
}
void AppModel::setRevealer(Revealer revealer) {
    state_->reveal = std::move(revealer);
}
void AppModel::setConfirmer(Confirmer confirmer) {
    state_->confirm = std::move(confirmer);
}
void AppModel::setFreeSpaceQuery(FreeSpaceQuery query) {
    state_->freeSpace = std::move(query);
}

const std::optional<fs::path>& AppModel::libraryURL() const {
    return state_->libraryURL;
}
const std::optional<fs::path>& AppModel::destinationURL() const {
    return state_->destinationURL;
}

void AppModel::setDestinationURL(std::optional<fs::path> url) {
    if (url == state_->destinationURL) return;
    state_->destinationURL = std::move(url);
    emit destinationURLChanged();
    if (state_->destinationFree) {  // it was another folder's
        state_->destinationFree.reset();
        emit destinationFreeChanged();
    }
    refreshFreeSpace();
    updateCanStart();
    refreshPreview();
}

const std::vector<Crate::Ptr>& AppModel::forest() const {
    return state_->selection.index().forest();
}
const CrateSelection& AppModel::selection() const {
    return state_->selection;
}
const BackupOptions& AppModel::options() const {
    return state_->options;
}

void AppModel::setOptions(const BackupOptions& options) {
    if (options == state_->options) return;
    state_->options = options;
    emit optionsChanged();
    refreshPreview();
}

QString AppModel::searchText() const {
    return state_->searchText;
}

void AppModel::setSearchText(const QString& text) {
    if (text == state_->searchText) return;
    state_->searchText = text;
    emit searchTextChanged();
}

bool AppModel::isLoading() const {
    return state_->isLoading;
}
const ProgressSnapshot& AppModel::progress() const {
    return state_->progress;
}
const std::vector<LogEntry>& AppModel::log() const {
    return state_->log;
}
bool AppModel::isRunning() const {
    return state_->isRunning;
}
QString AppModel::statusMessage() const {
    return state_->statusMessage;
}

void AppModel::setStatusMessage(const QString& text) {
    if (text == state_->statusMessage) return;
    state_->statusMessage = text;
    emit statusMessageChanged();
}

QString AppModel::libraryPath() const {
    return pathText(state_->libraryURL);
}
QString AppModel::destinationPath() const {
    return pathText(state_->destinationURL);
}

const std::vector<Crate::Ptr>& AppModel::allLeaves() const {
    return state_->selection.index().allLeaves();
}

std::vector<Crate::Ptr> AppModel::selectedCrates() const {
    return state_->selection.selectedCrates();
}

std::vector<Crate::Ptr> AppModel::searchResults() const {
    return state_->selection.index().searchResults(state_->searchText.toStdString());
}

std::int64_t AppModel::selectedTrackCount() const {
    std::int64_t count = 0;
    for (const auto& crate : selectedCrates())
        count += static_cast<std::int64_t>(crate->tracks.size());
    return count;
}

bool AppModel::canStart() const {
    return !state_->isRunning && state_->destinationURL && !state_->selection.ids().empty();
}

std::optional<QString> AppModel::destinationFreeText() const {
    const auto& free = state_->destinationFree;
    if (!free) return std::nullopt;
    return QString::fromStdString(
        text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(*free, 0))));
}

void AppModel::refreshFreeSpace() {
    const auto generation = ++state_->freeGeneration;
    if (!state_->destinationURL) return;
    runInBackground<std::optional<std::int64_t>>(
        state_->mainQueue,
        [query = state_->freeSpace, folder = *state_->destinationURL] { return query(folder); },
        [self = QPointer<AppModel>(this), generation](std::optional<std::int64_t> free) {
            if (!self || generation != self->state_->freeGeneration ||
                free == self->state_->destinationFree)
                return;
            self->state_->destinationFree = free;
            emit self->destinationFreeChanged();
        });
}

const std::optional<RunPreview>& AppModel::selectionPreview() const {
    return state_->preview;
}

std::optional<std::int64_t> AppModel::selectedBytes() const {
    if (!state_->preview) return std::nullopt;
    const auto total = state_->preview->total();
    return total.bytesToCopy + total.bytesUpToDate;
}

bool AppModel::selectionWillNotFit() const {
    return state_->preview && !state_->preview->fits();
}

void AppModel::refreshPreview() {
    const auto generation = ++state_->previewGeneration;
    if (state_->preview) {
        state_->preview.reset();
        emit selectionPreviewChanged();
    }
    if (state_->previewRunning) return;  // its result is dropped and this state planned then
    auto crates = selectedCrates();
    if (crates.empty()) {
        state_->preview = RunPreview{};
        emit selectionPreviewChanged();
        return;
    }
    std::optional<fs::path> database;
    if (state_->libraryURL) database = *state_->libraryURL / SeratoFolder::databaseFile;
    state_->previewRunning = true;
    runInBackground<std::optional<RunPreview>>(
        state_->mainQueue,
        [queue = state_->mainQueue, crates = std::move(crates),
         destination = state_->destinationURL, options = state_->options,
         database]() -> std::optional<RunPreview> {
            try {
                return BackupEngine(queue).preview(crates, destination, options, database);
            } catch (const std::exception&) {
                return std::nullopt;  // the run's own start checks will say what is wrong
            }
        },
        [self = QPointer<AppModel>(this), generation](std::optional<RunPreview> preview) {
            if (!self) return;
            self->state_->previewRunning = false;
            if (generation != self->state_->previewGeneration) {
                self->refreshPreview();
                return;
            }
            self->state_->preview = std::move(preview);
            emit self->selectionPreviewChanged();
        });
}

CrateSelection::CheckState AppModel::state(const Crate& crate) const {
    return state_->selection.state(crate);
}

void AppModel::loadDefaultLibrary() {
    const fs::path library = SeratoLibrary::defaultLibraryLocation();
    std::error_code error;
    if (fs::exists(fs::symlink_status(library, error))) load(library);
}

void AppModel::chooseLibrary() {
    if (!state_->chooseFolder) return;
    const auto chosen = state_->chooseFolder(
        {QStringLiteral("Choose your Serato library"),
         QStringLiteral("Select the _Serato_ folder (or a folder/drive that contains one)."),
         chooserStart(), false});
    if (!chosen) return;
    if (const auto library = SeratoLibrary::resolveLibrary(*chosen)) {
        load(*library);
    } else {
        setStatusMessage(QStringLiteral("No _Serato_ folder found at that location."));
    }
}

void AppModel::load(const fs::path& library) {
    const auto generation = ++state_->loadGeneration;
    if (state_->libraryURL != library) {
        state_->libraryURL = library;
        emit libraryURLChanged();
    }
    setLoading(true);
    setStatusMessage(QStringLiteral("Loading library…"));
    runInBackground<LoadedLibrary>(
        state_->mainQueue, [library] { return loadLibrary(library); },
        [self = QPointer<AppModel>(this), generation](LoadedLibrary loaded) {
            if (!self || generation != self->state_->loadGeneration) return;
            self->finishLoad(std::move(loaded.index), loaded.trackReferences,
                             std::move(loaded.warnings));
        },
        [library](const std::string& why) {
            // The library is shown empty with the reason among its load warnings.
            LoadedLibrary failed;
            failed.index = std::make_shared<const CrateIndex>();
            failed.warnings.push_back("Couldn't load " + library.native() + ": " + why);
            return failed;
        });
}

const std::vector<FoundLibrary>& AppModel::foundLibraries() const {
    return state_->foundLibraries;
}

void AppModel::setLibraryPlaces(LibraryFinder::Places places) {
    state_->libraryPlaces = std::move(places);
}

void AppModel::findLibraries() {
    const std::uint64_t generation = ++state_->findGeneration;
    auto places = state_->libraryPlaces.value_or(LibraryFinder::Places::system());
    runInBackground<std::vector<FoundLibrary>>(
        state_->mainQueue, [places = std::move(places)] { return LibraryFinder::find(places); },
        [self = QPointer<AppModel>(this), generation](std::vector<FoundLibrary> found) {
            if (!self || generation != self->state_->findGeneration ||
                found == self->state_->foundLibraries)
                return;
            self->state_->foundLibraries = std::move(found);
            emit self->foundLibrariesChanged();
        });
}

void AppModel::finishLoad(std::shared_ptr<const CrateIndex> index, std::size_t trackReferences,
                          std::vector<std::string> warnings) {
    CrateSelection selection(std::move(index));
    selection.selectAll();
    state_->selection = std::move(selection);
    emit forestChanged();
    emit selectionChanged();
    updateCanStart();
    refreshPreview();
    setLoading(false);
    setStatusMessage(paneText::loadedStatus(allLeaves().size(), trackReferences));
    state_->loadWarnings = std::move(warnings);
    for (const auto& warning : state_->loadWarnings)
        appendLog(LogEntry(LogEntry::Level::warning, warning));
}

void AppModel::chooseDestination() {
    if (!state_->chooseFolder) return;
    const auto chosen = state_->chooseFolder(
        {QStringLiteral("Choose backup destination"),
         QStringLiteral("Select the folder (e.g. on an external drive) to back up into."),
         chooserStart(), true});
    if (chosen) setDestinationURL(*chosen);
}

void AppModel::toggle(const Crate& crate) {
    changeSelection([&](auto& s) { s.toggle(crate); });
}
void AppModel::selectAll() {
    changeSelection([](auto& s) { s.selectAll(); });
}
void AppModel::selectNone() {
    changeSelection([](auto& s) { s.selectNone(); });
}

void AppModel::changeSelection(const std::function<void(CrateSelection&)>& change) {
    const auto before = state_->selection.ids();
    change(state_->selection);
    if (state_->selection.ids() == before) return;
    emit selectionChanged();
    updateCanStart();
    refreshPreview();
}

void AppModel::start() {
    // A second run while one is under way would replace (and block on) the running engine.
    if (!canStart()) return;
    BackupOptions options = state_->options;
    if (selectionWillNotFit()) {
        if (!state_->confirm ||
            !state_->confirm(QString::fromStdString(state_->preview->notEnoughSpaceText())))
            return;
        options.allowPartial = true;
    }
    if (!state_->log.empty()) {
        state_->log.clear();
        emit logCleared();
    }
    for (const auto& warning : state_->loadWarnings)
        appendLog(LogEntry(LogEntry::Level::warning, warning));
    setProgress(ProgressSnapshot{});
    state_->isRunning = true;
    emit isRunningChanged();
    updateCanStart();

    state_->engine = std::make_unique<BackupEngine>(state_->mainQueue);
    state_->runDestination = state_->destinationURL;
    std::optional<fs::path> database;
    if (state_->libraryURL) database = *state_->libraryURL / SeratoFolder::databaseFile;
    const QPointer<AppModel> self(this);
    state_->engine->run(
        selectedCrates(), *state_->destinationURL, options, database,
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

void AppModel::finishRun(const RunResult& result) {
    state_->isRunning = false;
    emit isRunningChanged();
    updateCanStart();
    if (const auto* failure = std::get_if<RunFailure>(&result)) {
        setStatusMessage(QString::fromStdString(failure->description));
        appendLog(LogEntry(LogEntry::Level::error, failure->description));
    } else {
        const auto& snapshot = std::get<ProgressSnapshot>(result);
        setProgress(snapshot);
        setStatusMessage(paneText::finalStatus(snapshot));
    }
    // The engine's work thread has ended (its completion is posted last), so this joins at
    // once; the running callback is the queue's copy, not the engine's.
    state_->engine.reset();
    refreshPreview();  // the run changed what is up to date and the free space
    refreshFreeSpace();
}

void AppModel::cancel() {
    if (state_->engine) state_->engine->cancel();
    setStatusMessage(QStringLiteral("Cancelling…"));
}

void AppModel::revealDestination() {
    const auto& folder = state_->runDestination ? state_->runDestination : state_->destinationURL;
    if (folder && state_->reveal) state_->reveal(*folder);
}

void AppModel::revealLibrary() {
    if (state_->libraryURL && state_->reveal) state_->reveal(*state_->libraryURL);
}

void AppModel::setLoading(bool loading) {
    if (loading == state_->isLoading) return;
    state_->isLoading = loading;
    emit isLoadingChanged();
}

void AppModel::setProgress(const ProgressSnapshot& snapshot) {
    if (snapshot == state_->progress) return;
    state_->progress = snapshot;
    emit progressChanged();
}

void AppModel::appendLog(LogEntry entry) {
    emit logAppended(appendCapped(state_->log, std::move(entry), maxLogEntries));
}

void AppModel::updateCanStart() {
    const bool now = canStart();
    if (now == state_->canStart) return;
    state_->canStart = now;
    emit canStartChanged();
}

}  // namespace morrowdeck
