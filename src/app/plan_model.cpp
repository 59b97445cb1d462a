#include "app/plan_model.h"

#include <QPointer>
#include <algorithm>
#include <exception>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "app/library_model.h"
#include "app/selection_model.h"
#include "backup/backup_engine.h"
#include "engine/background_task.h"
#include "library/formatting.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace fs = std::filesystem;

PlanModel::PlanModel(std::shared_ptr<MainQueue> mainQueue, const SelectionModel& selection,
                     const LibraryModel& library, QObject* parent)
    : QObject(parent),
      mainQueue_(std::move(mainQueue)),
      selection_(selection),
      library_(library),
      freeSpace_(platform::freeSpace),
      access_(platform::writeAccess) {
    connect(&selection_, &SelectionModel::selectionChanged, this, &PlanModel::refreshPreview);
    connect(&selection_, &SelectionModel::forestChanged, this, &PlanModel::forestChanged);
}

PlanModel::~PlanModel() = default;

void PlanModel::setFolderChooser(FolderChooser chooser) {
    chooseFolder_ = std::move(chooser);
}
void PlanModel::setFreeSpaceQuery(FreeSpaceQuery query) {
    freeSpace_ = std::move(query);
}
void PlanModel::setAccessQuery(AccessQuery query) {
    access_ = std::move(query);
}

void PlanModel::setDestinationURL(std::optional<fs::path> url) {
    if (url == destination_) return;
    destination_ = std::move(url);
    emit destinationURLChanged();
    if (destinationFree_ || destinationConnected_ || destinationAccess_) {  // another folder's
        destinationFree_.reset();
        destinationConnected_.reset();
        destinationAccess_.reset();
        emit destinationFreeChanged();
    }
    refreshFreeSpace();
    refreshPreview();
}

QString PlanModel::destinationPath() const {
    return destination_ ? QString::fromStdString(platform::toUtf8(*destination_)) : QString();
}

void PlanModel::chooseDestination() {
    if (!chooseFolder_) return;
    const auto chosen = chooseFolder_(
        {QStringLiteral("Choose backup destination"),
         QStringLiteral("Select the folder (e.g. on an external drive) to back up into."),
         FolderRequest::defaultStart(), true});
    if (chosen) setDestinationURL(*chosen);
}

void PlanModel::setOptions(const BackupOptions& options) {
    if (options == options_) return;
    options_ = options;
    emit optionsChanged();
    refreshPreview();
}

std::optional<std::int64_t> PlanModel::selectedBytes() const {
    if (!preview_) return std::nullopt;
    const auto total = preview_->total();
    return total.bytesToCopy + total.bytesUpToDate;
}

std::int64_t PlanModel::missingTracks(const Crate& crate) const {
    const auto found = missing_.find(&crate);
    return found == missing_.end() ? 0 : found->second;
}

void PlanModel::setTracks(TrackCounts tracks) {
    if (tracks_ == tracks) return;
    tracks_ = tracks;
    emit selectedTracksChanged();
}

// The new forest's selection signal follows and plans it (see SelectionModel::setIndex).
void PlanModel::forestChanged() {
    facts_ = std::make_shared<SourceFacts>();  // a plan under way keeps the old one
    if (tracks_) {
        tracks_.reset();
        emit selectedTracksChanged();
    }
    if (!missing_.empty()) {
        missing_.clear();
        emit missingTracksChanged();
    }
}

bool PlanModel::selectionWillNotFit() const {
    return preview_ && !preview_->fits() && !destinationUnwritable();
}

bool PlanModel::destinationUnwritable() const {
    return destinationAccess_ && *destinationAccess_ != platform::WriteAccess::writable;
}

std::optional<QString> PlanModel::destinationFreeText() const {
    if (!destinationFree_ || destinationUnwritable()) return std::nullopt;
    return QString::fromStdString(text::formatByteCount(
        static_cast<std::uint64_t>(std::max<std::int64_t>(*destinationFree_, 0))));
}

void PlanModel::refresh() {
    refreshPreview();
    refreshFreeSpace();
}

void PlanModel::refreshFreeSpace() {
    const auto generation = ++freeGeneration_;
    if (!destination_) return;
    struct Measured {
        bool connected = false;
        std::optional<std::int64_t> free;
        platform::WriteAccess access = platform::WriteAccess::writable;
    };
    runInBackground<Measured>(
        mainQueue_,
        [free = freeSpace_, access = access_, folder = *destination_] {
            std::error_code error;
            Measured measured;
            measured.connected = fs::is_directory(folder, error);
            measured.free = free(folder);
            measured.access = access(folder);
            return measured;
        },
        [self = QPointer<PlanModel>(this), generation](Measured measured) {
            if (!self || generation != self->freeGeneration_) return;
            if (measured.free == self->destinationFree_ &&
                measured.connected == self->destinationConnected_ &&
                measured.access == self->destinationAccess_)
                return;
            self->destinationFree_ = measured.free;
            self->destinationConnected_ = measured.connected;
            self->destinationAccess_ = measured.access;
            emit self->destinationFreeChanged();
        });
}

void PlanModel::refreshPreview() {
    const auto generation = ++previewGeneration_;
    if (preview_) {
        preview_.reset();
        emit selectionPreviewChanged();
    }
    if (previewRunning_) return;  // its result is dropped and this state planned then
    auto crates = selection_.selectedCrates();
    if (crates.empty()) {
        preview_ = RunPreview{};
        emit selectionPreviewChanged();
        setTracks({});
        return;
    }
    previewRunning_ = true;
    runInBackground<Planned>(
        mainQueue_,
        [queue = mainQueue_, crates = std::move(crates), forest = selection_.forest(),
         destination = destination_, options = options_, database = library_.databaseURL(),
         libraries = library_.libraryFolders(), members = library_.trackMembers(),
         facts = facts_] {
            return plan(queue, crates, forest, destination, options, database, libraries,
                        members, *facts);
        },
        [self = QPointer<PlanModel>(this), generation](Planned planned) {
            if (!self) return;
            self->previewRunning_ = false;
            if (generation != self->previewGeneration_) {
                self->refreshPreview();
                return;
            }
            self->preview_ = std::move(planned.preview);
            if (planned.missing != self->missing_) {
                self->missing_ = std::move(planned.missing);
                emit self->missingTracksChanged();
            }
            self->setTracks(planned.tracks);
            emit self->selectionPreviewChanged();
        });
}

// On a background thread: the engine's plan of the selection, its track counts, and the tracks
// not found in every crate of the forest (querying those no plan has needed yet).
PlanModel::Planned PlanModel::plan(const std::shared_ptr<MainQueue>& queue,
                                   const std::vector<Crate::Ptr>& crates,
                                   const std::vector<Crate::Ptr>& forest,
                                   const std::optional<fs::path>& destination,
                                   const BackupOptions& options,
                                   const std::optional<fs::path>& database,
                                   const std::vector<fs::path>& libraries,
                                   const LibraryModel::TrackMembers& members, SourceFacts& facts) {
    Planned result;
    try {
        BackupEngine engine(queue);
        if (libraries.size() > 1) engine.setLibraries(libraries, members);
        result.preview = engine.preview(crates, destination, options, database, &facts);
    } catch (const std::exception&) {
        // the run's own start checks will say what is wrong
    }
    std::unordered_set<std::string_view> distinct;
    for (const auto& crate : crates) {
        result.tracks.entries += static_cast<std::int64_t>(crate->tracks.size());
        distinct.insert(crate->tracks.begin(), crate->tracks.end());
    }
    result.tracks.distinct = static_cast<std::int64_t>(distinct.size());

    const auto count = [&](const auto& self, const Crate& crate) -> std::int64_t {
        std::int64_t missing = 0;
        for (const auto& track : crate.tracks) {
            auto fact = facts.byPath.find(std::string_view(track));
            if (fact == facts.byPath.end())
                fact = facts.byPath.try_emplace(track, PlannedSource::query(track)).first;
            if (!fact->second.info) ++missing;
        }
        for (const auto& child : crate.children)
            missing += self(self, *child);
        if (missing > 0) result.missing.emplace(&crate, missing);
        return missing;
    };
    for (const auto& crate : forest)
        count(count, *crate);
    return result;
}

}  // namespace morrowdeck
