#include "app/plan_model.h"

#include <QPointer>
#include <algorithm>
#include <exception>
#include <utility>

#include "app/library_model.h"
#include "app/selection_model.h"
#include "backup/backup_engine.h"
#include "engine/background_task.h"
#include "library/formatting.h"
#include "platform/file_operations.h"

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
    return destination_ ? QString::fromStdString(destination_->string()) : QString();
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
        return;
    }
    previewRunning_ = true;
    runInBackground<std::optional<RunPreview>>(
        mainQueue_,
        [queue = mainQueue_, crates = std::move(crates), destination = destination_,
         options = options_, database = library_.databaseURL()]() -> std::optional<RunPreview> {
            try {
                return BackupEngine(queue).preview(crates, destination, options, database);
            } catch (const std::exception&) {
                return std::nullopt;  // the run's own start checks will say what is wrong
            }
        },
        [self = QPointer<PlanModel>(this), generation](std::optional<RunPreview> preview) {
            if (!self) return;
            self->previewRunning_ = false;
            if (generation != self->previewGeneration_) {
                self->refreshPreview();
                return;
            }
            self->preview_ = std::move(preview);
            emit self->selectionPreviewChanged();
        });
}

}  // namespace morrowdeck
