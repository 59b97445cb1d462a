#include "app/library_model.h"

#include <QPointer>
#include <system_error>
#include <utility>

#include "engine/background_task.h"
#include "library/crate_index.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "library/serato_library_tracks.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

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

}  // namespace

LibraryModel::LibraryModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue)) {}

LibraryModel::~LibraryModel() = default;

void LibraryModel::setFolderChooser(FolderChooser chooser) {
    chooseFolder_ = std::move(chooser);
}

QString LibraryModel::libraryPath() const {
    return libraryURL_ ? QString::fromStdString(platform::toUtf8(*libraryURL_)) : QString();
}

std::optional<fs::path> LibraryModel::databaseURL() const {
    if (!libraryURL_) return std::nullopt;
    return *libraryURL_ / SeratoFolder::databaseFile;
}

void LibraryModel::loadDefaultLibrary() {
    const fs::path library = SeratoLibrary::defaultLibraryLocation();
    std::error_code error;
    if (fs::exists(fs::symlink_status(library, error))) load(library);
}

void LibraryModel::chooseLibrary() {
    if (locked_) {
        emit refused();
        return;
    }
    if (!chooseFolder_) return;
    const auto chosen = chooseFolder_(
        {QStringLiteral("Choose your Serato library"),
         QStringLiteral("Select the _Serato_ folder (or a folder/drive that contains one)."),
         FolderRequest::defaultStart(), false});
    if (chosen) open(*chosen);
}

void LibraryModel::open(const fs::path& folder) {
    if (locked_) {
        emit refused();
        return;
    }
    if (const auto library = SeratoLibrary::resolveLibrary(folder)) {
        load(*library);
    } else {
        emit libraryNotFound(QString::fromStdString(platform::toUtf8(folder)));
    }
}

void LibraryModel::load(const fs::path& library) {
    if (locked_) {
        emit refused();
        return;
    }
    const auto generation = ++generation_;
    if (libraryURL_ != library) {
        libraryURL_ = library;
        emit libraryURLChanged();
    }
    setLoading(true);
    emit loadStarted();
    runInBackground<LoadedLibrary>(
        mainQueue_, [library] { return loadLibrary(library); },
        [self = QPointer<LibraryModel>(this), generation](LoadedLibrary loaded) {
            if (!self || generation != self->generation_) return;
            self->loadWarnings_ = std::move(loaded.warnings);
            emit self->loaded(std::move(loaded.index), loaded.trackReferences);
            self->setLoading(false);
        },
        [library](const std::string& why) {
            // The library is shown empty with the reason among its load warnings.
            LoadedLibrary failed;
            failed.index = std::make_shared<const CrateIndex>();
            failed.warnings.push_back("Couldn't load " + platform::toUtf8(library) + ": " + why);
            return failed;
        });
}

void LibraryModel::setLoading(bool loading) {
    if (loading == isLoading_) return;
    isLoading_ = loading;
    emit isLoadingChanged();
}

}  // namespace morrowdeck
