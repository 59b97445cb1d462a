#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "app/folder_request.h"
#include "backup/backup_options.h"
#include "backup/planned_source.h"
#include "engine/main_queue.h"
#include "engine/run_preview.h"
#include "library/crate.h"
#include "platform/file_operations.h"

namespace morrowdeck {

class LibraryModel;
class SelectionModel;

// Where the backup goes and how, and what that would take: the destination and the options,
// the engine's plan of the ticked crates onto them, and the destination's free space.
//
// Threads: UI thread only, and nothing here waits for a drive: the plan and the free space are
// worked out through the engine layer's background helper and come back through the main
// queue, holding the model through a QPointer; a result superseded by a newer request is not
// used. Plans run one at a time and share the source facts learnt so far (kept until the
// library is read again), so a change of selection queries only tracks not seen before.
// Change signals fire only on a real change.
class PlanModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString destinationPath READ destinationPath NOTIFY destinationURLChanged)

  public:
    // The free space of a folder's volume (absent when unknown). It may block on a sleeping
    // or dead drive, so it is only ever called off the UI thread. Tests replace it; the default
    // is platform::freeSpace.
    using FreeSpaceQuery = std::function<std::optional<std::int64_t>(const std::filesystem::path&)>;
    // Whether the backup could write into a folder, asked without writing; off the UI thread
    // like the free space. Tests replace it; the default is platform::writeAccess.
    using AccessQuery = std::function<platform::WriteAccess(const std::filesystem::path&)>;

    // The selection's tracks: distinct files, and crate entries (a track in two crates twice).
    struct TrackCounts {
        std::int64_t distinct = 0;
        std::int64_t entries = 0;
        bool operator==(const TrackCounts&) const = default;
    };

    // The plan follows `selection`'s ticks and reads `library`'s database; both outlive this.
    PlanModel(std::shared_ptr<MainQueue> mainQueue, const SelectionModel& selection,
              const LibraryModel& library, QObject* parent = nullptr);
    ~PlanModel() override;

    void setFolderChooser(FolderChooser chooser);
    void setFreeSpaceQuery(FreeSpaceQuery query);
    void setAccessQuery(AccessQuery query);

    const std::optional<std::filesystem::path>& destinationURL() const { return destination_; }
    void setDestinationURL(std::optional<std::filesystem::path> url);
    QString destinationPath() const;  // "" when none
    void chooseDestination();
    const BackupOptions& options() const { return options_; }
    void setOptions(const BackupOptions& options);

    // The engine's plan of the selection onto the destination, worked out in the background
    // after each change of selection, destination or options; absent until the latest one is
    // known.
    const std::optional<RunPreview>& selectionPreview() const { return preview_; }
    // The bytes the selection's backup holds (a track in two crates twice unless de-duplicated),
    // absent while being worked out.
    std::optional<std::int64_t> selectedBytes() const;
    // True when the bytes still to copy exceed the destination's free space. Never for a
    // destination that cannot be written at all: its lack of space is not the problem (a
    // read-only drive reports no free bytes).
    bool selectionWillNotFit() const;
    // The track counts of the latest plan: the previous selection's while a new one is worked
    // out (so the count line does not flicker), absent before the first.
    const std::optional<TrackCounts>& selectedTracks() const { return tracks_; }
    // How many tracks of `crate` (of every crate below it, for one with children) are not
    // found, as the latest plan learnt; 0 until known. Known for every crate of the library
    // once a selection has been planned.
    std::int64_t missingTracks(const Crate& crate) const;

    // The destination's free space as last measured in the background (after each change of
    // destination and each refresh); absent until known, when unknown, and when the
    // destination cannot be written.
    std::optional<QString> destinationFreeText() const;
    // Whether the destination folder exists, looked at in the background with the free space:
    // false for a remembered folder on a drive that is not plugged in; absent until known.
    std::optional<bool> destinationConnected() const { return destinationConnected_; }
    // Looks at the destination's free space and presence again (a drive may have come or
    // gone), without planning again.
    void checkDestination() { refreshFreeSpace(); }
    // Whether the backup could write into the destination, measured with the free space;
    // absent until known and without a destination.
    std::optional<platform::WriteAccess> destinationAccess() const { return destinationAccess_; }
    // True when the destination is known not to take a backup (read-only or closed to us).
    bool destinationUnwritable() const;

    // Works out the plan and the free space again, as after a run that changed what is up to
    // date and what is free.
    void refresh();

  signals:
    void destinationURLChanged();
    void optionsChanged();
    void selectionPreviewChanged();
    // The free space, presence or write access of the destination changed.
    void destinationFreeChanged();
    void selectedTracksChanged();
    void missingTracksChanged();

  private:
    // Starts working out the selection's plan; a result superseded meanwhile is dropped and
    // the newest state worked out instead, one at a time.
    void refreshPreview();
    // Measures the destination's free space and write access; a result superseded by a newer
    // request is ignored.
    void refreshFreeSpace();

    std::shared_ptr<MainQueue> mainQueue_;
    const SelectionModel& selection_;
    const LibraryModel& library_;
    FolderChooser chooseFolder_;
    FreeSpaceQuery freeSpace_;
    AccessQuery access_;

    std::optional<std::filesystem::path> destination_;
    BackupOptions options_;
    // Tracks not found per crate of the current forest (only crates with some).
    using MissingTracks = std::unordered_map<const Crate*, std::int64_t>;
    // What one background plan gives back.
    struct Planned {
        std::optional<RunPreview> preview;
        TrackCounts tracks;
        MissingTracks missing;
    };
    static Planned plan(const std::shared_ptr<MainQueue>& queue,
                        const std::vector<Crate::Ptr>& crates,
                        const std::vector<Crate::Ptr>& forest,
                        const std::optional<std::filesystem::path>& destination,
                        const BackupOptions& options,
                        const std::optional<std::filesystem::path>& database,
                        const std::vector<std::filesystem::path>& libraries,
                        const std::unordered_map<const Crate*, std::vector<std::size_t>>& members,
                        SourceFacts& facts);
    void setTracks(TrackCounts tracks);
    // A new forest: its crates and files may differ, so nothing learnt of the last one is kept.
    void forestChanged();

    std::optional<RunPreview> preview_;
    std::optional<TrackCounts> tracks_;
    MissingTracks missing_;
    // Shared with the plan under way, which alone reads and extends it; replaced, never
    // cleared, on a new forest.
    std::shared_ptr<SourceFacts> facts_ = std::make_shared<SourceFacts>();
    std::uint64_t previewGeneration_ = 0;  // counts changes that need a new plan
    bool previewRunning_ = false;
    std::optional<std::int64_t> destinationFree_;
    std::optional<bool> destinationConnected_;
    std::optional<platform::WriteAccess> destinationAccess_;
    std::uint64_t freeGeneration_ = 0;  // counts requests; only the latest result is used
};

}  // namespace morrowdeck
