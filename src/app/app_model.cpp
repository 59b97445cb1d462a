#include "app/app_model.h"

#include <system_error>
#include <utility>

#include "app/pane_texts.h"
#include "backup/backup_engine.h"
#include "library/serato_library.h"

namespace morrowdeck {

namespace fs = std::filesystem;

AppModel::AppModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent),
      mainQueue_(mainQueue),
      library_(mainQueue),
      discovery_(mainQueue),
      plan_(mainQueue, selection_, library_),
      run_(QStringLiteral("Locate your Serato library to begin.")),
      reveal_(library_, plan_) {
    run_.setRunningStatus(QStringLiteral("Backing up\u2026"));
    connect(&library_, &LibraryModel::loadStarted, this,
            [this] { run_.setStatusMessage(QStringLiteral("Loading library…")); });
    connect(&library_, &LibraryModel::libraryNotFound, this, [this](const QString& folder) {
        run_.setStatusMessage(QStringLiteral("No _Serato_ folder found at that location."));
        notices_.show({Notice::Level::error, Notice::Subject::library,
                       QStringLiteral("No _Serato_ folder in %1.").arg(folder),
                       QStringLiteral("Choose the folder that contains _Serato_."),
                       Notice::Action::chooseLibrary});
    });
    connect(&library_, &LibraryModel::refused, this, [this] {
        notices_.show({Notice::Level::warning, Notice::Subject::libraryLocked,
                       QStringLiteral("A backup is running."),
                       QStringLiteral("Wait for the backup to finish, or cancel it, before opening "
                                      "another library."),
                       Notice::Action::none});
    });
    connect(&library_, &LibraryModel::loaded, this,
            [this](std::shared_ptr<const CrateIndex> index, std::size_t trackReferences) {
                selection_.setIndex(std::move(index));
                loaded(trackReferences);
            });
    connect(&selection_, &SelectionModel::selectionChanged, this, &AppModel::updateCanStart);
    connect(&plan_, &PlanModel::destinationURLChanged, this, &AppModel::updateCanStart);
    connect(&plan_, &PlanModel::destinationFreeChanged, this, &AppModel::updateCanStart);
    connect(&plan_, &PlanModel::destinationURLChanged, this, [this] {
        notices_.clear(Notice::Subject::destination);
        notices_.clear(Notice::Subject::run);  // a start failure was about the old destination
    });
    connect(&plan_, &PlanModel::destinationFreeChanged, this, &AppModel::destinationMeasured);
    connect(&reveal_, &RevealAction::revealFailed, this, [this](const QString& folder) {
        notices_.show({Notice::Level::error, Notice::Subject::reveal,
                       QStringLiteral("Couldn't open a file manager to show %1.").arg(folder),
                       QStringLiteral("Install a file manager, or open the folder yourself."),
                       Notice::Action::none});
    });
    connect(&run_, &RunModel::isRunningChanged, this, &AppModel::updateCanStart);
    // The library is held while a backup copies its crates.
    connect(&run_, &RunModel::isRunningChanged, this, [this] {
        library_.setLocked(run_.isRunning());
        // A new run takes back the last one's start failure; the end of a run, the refusal.
        notices_.clear(run_.isRunning() ? Notice::Subject::run : Notice::Subject::libraryLocked);
    });
}

AppModel::~AppModel() = default;

void AppModel::setFolderChooser(const FolderChooser& chooser) {
    library_.setFolderChooser(chooser);
    plan_.setFolderChooser(chooser);
}

void AppModel::setConfirmer(Confirmer confirmer) {
    confirm_ = std::move(confirmer);
}

// The damaged crate files head the log now and every backup's log later.
void AppModel::loaded(std::size_t trackReferences) {
    notices_.clear(Notice::Subject::library);
    run_.setStatusMessage(paneText::loadedStatus(selection_.allLeaves().size(), trackReferences));
    for (const auto& warning : library_.loadWarnings())
        run_.appendLog(LogEntry(LogEntry::Level::warning, warning));
}

std::vector<fs::path> AppModel::allLibraries() const {
    std::vector<fs::path> folders;
    const fs::path home = SeratoLibrary::defaultLibraryLocation();
    std::error_code error;
    if (fs::is_directory(home, error)) folders.push_back(home);
    for (const auto& found : discovery_.foundLibraries())
        folders.push_back(found.folder);
    return folders;
}

void AppModel::loadAllLibraries() {
    library_.loadAll(allLibraries());
}

bool AppModel::canStart() const {
    // A remembered destination whose drive is not plugged in is not written to: the engine
    // would make the folder afresh wherever its path now leads.
    return !run_.isRunning() && plan_.destinationURL() && plan_.destinationConnected() != false &&
           !selection_.isEmpty();
}

void AppModel::start() {
    if (!canStart()) return;
    BackupOptions options = plan_.options();
    if (plan_.selectionWillNotFit()) {
        if (!confirm_ ||
            !confirm_(QString::fromStdString(plan_.selectionPreview()->notEnoughSpaceText())))
            return;
        options.allowPartial = true;
    }
    const fs::path destination = *plan_.destinationURL();
    const bool started = run_.start<BackupEngine>(
        std::make_unique<BackupEngine>(mainQueue_),
        [crates = selection_.selectedCrates(), destination, options,
         database = library_.databaseURL(), folders = library_.libraryFolders(),
         members = library_.trackMembers()](BackupEngine& engine,
                                            RunModel::Callbacks callbacks) {
            // A library of several folders: each track is backed up from its own.
            if (folders.size() > 1) engine.setLibraries(folders, members);
            engine.run(crates, destination, options, database, std::move(callbacks.log),
                       std::move(callbacks.progress), std::move(callbacks.completion));
        },
        [this](BackupEngine&, const RunResult& result) {
            run_.report(result, paneText::finalStatus);
            if (const auto* failure = std::get_if<RunFailure>(&result)) {
                notices_.show({Notice::Level::error, Notice::Subject::run,
                               QString::fromStdString(failure->description),
                               QStringLiteral("Choose another destination, or fix this one and "
                                              "start again."),
                               Notice::Action::chooseDestination});
            }
            plan_.refresh();  // the run changed what is up to date and the free space
        });
    if (!started) return;
    reveal_.setRunDestination(destination);
    // Before any line of the engine, which arrive through the main queue.
    for (const auto& warning : library_.loadWarnings())
        run_.appendLog(LogEntry(LogEntry::Level::warning, warning));
}

// A destination the backup cannot write into is named for what it is, in the window.
void AppModel::destinationMeasured() {
    const auto access = plan_.destinationAccess();
    if (!access || *access == platform::WriteAccess::writable) {
        notices_.clear(Notice::Subject::destination);
        return;
    }
    const bool readOnly = *access == platform::WriteAccess::readOnly;
    notices_.show({Notice::Level::error, Notice::Subject::destination,
                   readOnly ? QStringLiteral("The drive is read-only.")
                            : QStringLiteral("Can't write to this folder."),
                   readOnly ? QStringLiteral("Choose a destination on another drive, or make this "
                                             "one writable.")
                            : QStringLiteral("Choose another destination, or allow writing to "
                                             "this folder."),
                   Notice::Action::chooseDestination});
}

void AppModel::updateCanStart() {
    const bool now = canStart();
    if (now == canStart_) return;
    canStart_ = now;
    emit canStartChanged();
}

}  // namespace morrowdeck
