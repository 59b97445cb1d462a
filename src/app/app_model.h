#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_options.h"
#include "engine/log_entry.h"
#include "engine/main_queue.h"
#include "engine/progress_snapshot.h"
#include "engine/run_preview.h"
#include "engine/run_result.h"
#include "library/crate.h"
#include "library/crate_selection.h"
#include "library/library_finder.h"

namespace morrowdeck {

class BackupEngine;
class CrateIndex;

// The single model behind the main window: the chosen library and destination, the loaded
// forest with its index and selection, the backup options, the search text, the running
// backup's progress and log, and a one-line status. Views read it and call its operations;
// it knows nothing of views. Folder choosers and the file-manager reveal are injected, so
// tests drive the model without dialogs.
//
// Threads: everything here runs on the UI thread, and nothing here waits for a drive: library
// loads, the selection's plan and the free space run through the engine layer's background
// helper and come back through the main queue; a result superseded by a newer request is
// ignored. Engine callbacks arrive through the same queue and hold the model
// through a QPointer. Every change signal is emitted only when the value really changed.
class AppModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString libraryPath READ libraryPath NOTIFY libraryURLChanged)
    Q_PROPERTY(QString destinationPath READ destinationPath NOTIFY destinationURLChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(bool canStart READ canStart NOTIFY canStartChanged)
    Q_PROPERTY(
        QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)

  public:
    static constexpr std::size_t maxLogEntries = 2000;

    // What a folder chooser is asked for; the view shows a dialog, tests answer directly.
    struct FolderRequest {
        QString title;
        QString message;
        std::filesystem::path startIn;  // empty: the chooser's own default
        bool canCreateFolders = false;
    };
    using FolderChooser = std::function<std::optional<std::filesystem::path>(const FolderRequest&)>;
    using Revealer = std::function<void(const std::filesystem::path&)>;
    // Asked before a backup that will not fit starts, with the refusal's text; true: start
    // anyway (the view shows a dialog with "Back Up Anyway" and Cancel).
    using Confirmer = std::function<bool(const QString& message)>;
    // The free space of a folder's volume (absent when unknown). It may block on a sleeping
    // or dead drive, so it is only ever called off the UI thread. Tests replace it; the default
    // is platform::freeSpace.
    using FreeSpaceQuery = std::function<std::optional<std::int64_t>(const std::filesystem::path&)>;

    // `mainQueue` delivers background and engine results on this (the UI) thread.
    explicit AppModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    // A running backup is cancelled and left to stop on a thread of its own (see
    // retireEngine), so this returns at once.
    ~AppModel() override;

    void setFolderChooser(FolderChooser chooser);
    void setRevealer(Revealer revealer);
    void setConfirmer(Confirmer confirmer);
    void setFreeSpaceQuery(FreeSpaceQuery query);

    // Observed fields.
    const std::optional<std::filesystem::path>& libraryURL() const;
    const std::optional<std::filesystem::path>& destinationURL() const;
    void setDestinationURL(std::optional<std::filesystem::path> url);
    const std::vector<Crate::Ptr>& forest() const;
    const CrateSelection& selection() const;  // its index() gives allLeaves and leafIDs
    const BackupOptions& options() const;
    void setOptions(const BackupOptions& options);
    QString searchText() const;
    void setSearchText(const QString& text);
    bool isLoading() const;
    const ProgressSnapshot& progress() const;
    const std::vector<LogEntry>& log() const;
    bool isRunning() const;
    QString statusMessage() const;
    void setStatusMessage(const QString& text);
    QString libraryPath() const;      // "" when none
    QString destinationPath() const;  // "" when none

    // Derived values, computed on each read.
    const std::vector<Crate::Ptr>& allLeaves() const;
    std::vector<Crate::Ptr> selectedCrates() const;
    std::vector<Crate::Ptr> searchResults() const;
    std::int64_t selectedTrackCount() const;  // own tracks of the selected crates
    bool canStart() const;
    // The destination's free space as last measured in the background (after each change of
    // destination and each run); absent until known and when unknown.
    std::optional<QString> destinationFreeText() const;
    // The engine's plan of the selection onto the destination, worked out in the background
    // after each change of selection, destination or options; absent until the latest one is
    // known.
    const std::optional<RunPreview>& selectionPreview() const;
    // The bytes the selection's backup holds (a track in two crates twice unless de-duplicated),
    // absent while being worked out.
    std::optional<std::int64_t> selectedBytes() const;
    // True when the bytes still to copy exceed the destination's free space.
    bool selectionWillNotFit() const;
    CrateSelection::CheckState state(const Crate& crate) const;
    // The libraries found on this computer and its drives by the latest findLibraries().
    const std::vector<FoundLibrary>& foundLibraries() const;

    // Operations.
    void loadDefaultLibrary();
    void chooseLibrary();
    void load(const std::filesystem::path& library);
    // Looks for libraries off the UI thread; foundLibrariesChanged() when the list differs.
    void findLibraries();
    void setLibraryPlaces(LibraryFinder::Places places);  // tests: where findLibraries looks
    void chooseDestination();
    void toggle(const Crate& crate);
    void selectAll();
    void selectNone();
    void start();
    void cancel();             // the Cancel button: engine cancel() and "Cancelling…"
    void revealDestination();  // the finished run's own destination
    void revealLibrary();
    // Appends one line to the activity log; beyond maxLogEntries the oldest lines are dropped.
    void appendLog(LogEntry entry);

  signals:
    void libraryURLChanged();
    void foundLibrariesChanged();
    void destinationURLChanged();
    void forestChanged();  // also means allLeaves and the index changed
    void selectionChanged();
    void optionsChanged();
    void searchTextChanged();
    void isLoadingChanged();
    void progressChanged();
    // The log: one line appended (and, at the cap, the oldest `dropped` removed first), or
    // cleared by start(). Views keep their list in step and scroll to the newest line.
    void logAppended(std::size_t dropped);
    void logCleared();
    void isRunningChanged();
    void statusMessageChanged();
    void canStartChanged();
    void selectionPreviewChanged();
    void destinationFreeChanged();

  private:
    void finishLoad(std::shared_ptr<const CrateIndex> index, std::size_t trackReferences,
                    std::vector<std::string> warnings);
    void finishRun(const RunResult& result);
    void changeSelection(const std::function<void(CrateSelection&)>& change);
    void setLoading(bool loading);
    void setProgress(const ProgressSnapshot& snapshot);
    void updateCanStart();
    // Starts working out the selection's plan; a result superseded meanwhile is dropped and
    // the newest state worked out instead, one at a time.
    void refreshPreview();
    // Measures the destination's free space in the background; a result superseded by a newer
    // request is ignored.
    void refreshFreeSpace();

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace morrowdeck
