#include "app/remembered_choices.h"

#include <QSet>

#include "app/app_model.h"
#include "app/app_settings.h"
#include "library/serato_library.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

QString cratePath(const Crate& crate) {
    QStringList components;
    for (const auto& component : crate.components) components << QString::fromStdString(component);
    return components.join('/');
}

}  // namespace

RememberedChoices::RememberedChoices(AppModel& model, AppSettings& settings, QObject* parent)
    : QObject(parent), model_(model), settings_(settings) {
    model_.plan().setOptions(settings_.backupOptions());
    // Connected after the window model's own handlers, so these run once it has taken the
    // new forest.
    connect(&model_.library(), &LibraryModel::libraryURLChanged, this, &RememberedChoices::libraryChosen);
    connect(&model_.library(), &LibraryModel::loadStarted, this, [this] { ticksPending_ = true; });
    connect(&model_.library(), &LibraryModel::loaded, this, &RememberedChoices::cratesLoaded);
    connect(&model_.selection(), &SelectionModel::selectionChanged, this, &RememberedChoices::selectionChanged);
    connect(&model_.plan(), &PlanModel::destinationURLChanged, this, &RememberedChoices::destinationChanged);
    connect(&model_.plan(), &PlanModel::optionsChanged, this,
            [this] { settings_.setBackupOptions(model_.plan().options()); });
    connect(&model_.run(), &RunModel::isRunningChanged, this, &RememberedChoices::runningChanged);
}

std::optional<fs::path> RememberedChoices::initialLibrary() const {
    // Only a folder that still holds a library: anything else starts as without one.
    const auto library = settings_.lastLibrary();
    if (!library) return std::nullopt;
    const auto resolved = SeratoLibrary::resolveLibrary(*library);
    if (resolved != library) return std::nullopt;
    return resolved;
}

QString RememberedChoices::lastBackupText(const QDateTime& now) const {
    if (!model_.library().libraryURL() || !model_.plan().destinationURL()) return {};
    return recordText::lastBackup(lastBackup_, now, lastBackup_ ? changed_ : std::nullopt);
}

void RememberedChoices::libraryChosen() {
    const auto& library = model_.library().libraryURL();
    if (!library) return;
    settings_.setLastLibrary(*library);
    ticksPending_ = true;  // its crates are on their way
    // Another library's destination stays when this one has none remembered.
    if (const auto destination = settings_.destination(*library))
        model_.plan().setDestinationURL(*destination);
    refreshLastBackup();
}

void RememberedChoices::cratesLoaded() {
    ticksPending_ = false;
    const auto& library = model_.library().libraryURL();
    if (library) {
        if (const auto unticked = settings_.untickedCrates(*library); unticked && !unticked->isEmpty()) {
            const QSet<QString> names(unticked->begin(), unticked->end());
            std::vector<Crate::Ptr> leaves;
            for (const auto& leaf : model_.selection().allLeaves())
                if (names.contains(cratePath(*leaf))) leaves.push_back(leaf);
            model_.selection().untick(leaves);
        }
    }
    refreshLastBackup();
}

void RememberedChoices::selectionChanged() {
    const auto& library = model_.library().libraryURL();
    if (ticksPending_ || !library || model_.selection().allLeaves().empty()) return;
    // The leaf itself, not its state, which also counts the leaves below it.
    const auto& ticked = model_.selection().selection().ids();
    QStringList unticked;
    for (const auto& leaf : model_.selection().allLeaves())
        if (!ticked.contains(leaf->id)) unticked << cratePath(*leaf);
    settings_.setUntickedCrates(*library, unticked);
}

void RememberedChoices::destinationChanged() {
    const auto& library = model_.library().libraryURL();
    const auto& destination = model_.plan().destinationURL();
    if (library && destination) settings_.setDestination(*library, *destination);
    refreshLastBackup();
}

void RememberedChoices::runningChanged() {
    const RunModel& run = model_.run();
    if (run.isRunning()) {
        // The backup started with exactly these: start() hands them to the engine just now.
        runLibrary_ = model_.library().libraryURL();
        runDestination_ = model_.plan().destinationURL();
        runCrates_ = model_.selection().selectedCrates();
        // A destination kept from another library becomes this one's too.
        if (runLibrary_ && runDestination_) settings_.setDestination(*runLibrary_, *runDestination_);
        return;
    }
    if (runLibrary_ && runDestination_ && run.progress().finished) {
        settings_.setLastBackup(*runLibrary_, BackupRecord::of(*runDestination_, QDateTime::currentDateTimeUtc(),
                                                               run.progress(), runCrates_));
    }
    runLibrary_.reset();
    runDestination_.reset();
    runCrates_.clear();
    refreshLastBackup();
}

void RememberedChoices::refreshLastBackup() {
    const auto& library = model_.library().libraryURL();
    const auto& destination = model_.plan().destinationURL();
    lastBackup_ = library && destination ? settings_.lastBackup(*library, *destination) : std::nullopt;
    changed_.reset();
    if (lastBackup_ && !ticksPending_)
        changed_ = lastBackup_->changedCrates(model_.selection().allLeaves());
    emit lastBackupChanged();
}

}  // namespace morrowdeck
