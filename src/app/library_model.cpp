#include "app/library_model.h"

#include <QPointer>
#include <algorithm>
#include <system_error>
#include <utility>

#include "engine/background_task.h"
#include "library/crate_index.h"
#include "library/library_member.h"
#include "library/merged_forest.h"
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
    // The libraries as loaded: several folders naming one (through a link) are one.
    std::vector<fs::path> folders;
    LibraryModel::TrackMembers trackMembers;
};

LoadedLibrary loadLibrary(const std::vector<fs::path>& folders) {
    LoadedLibrary loaded;
    std::vector<Crate::Ptr> forest;
    if (folders.size() == 1) {
        forest = SeratoLibrary::withNotInCrate(
            SeratoLibrary::loadCrates(folders.front(), &loaded.warnings), folders.front(),
            &loaded.warnings);
        loaded.folders = folders;
    } else {
        // Reads each member's volume, which may wake a sleeping drive: hence here.
        const auto members =
            LibraryMembers::describe(folders, SeratoLibrary::defaultLibraryLocation());
        MergedForest merged = MergedForest::load(members, true, &loaded.warnings);
        forest = std::move(merged.forest);
        loaded.trackMembers = std::move(merged.trackMembers);
        for (const auto& member : members)
            loaded.folders.push_back(member.library);
    }
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
    startLoad({library});
}

void LibraryModel::loadAll(std::vector<fs::path> libraries) {
    if (locked_) {
        emit refused();
        return;
    }
    std::vector<fs::path> folders;
    for (auto& library : libraries) {
        library = library.lexically_normal();
        if (std::find(folders.begin(), folders.end(), library) == folders.end())
            folders.push_back(std::move(library));
    }
    if (folders.empty()) return;
    startLoad(std::move(folders));
}

void LibraryModel::reload() {
    if (folders_.size() > 1) loadAll(folders_);
    else if (libraryURL_) load(*libraryURL_);
}

void LibraryModel::startLoad(std::vector<fs::path> folders) {
    const auto generation = ++generation_;
    trackMembers_.clear();  // they name the crates of the forest being replaced
    setFolders(folders);
    setLoading(true);
    emit loadStarted();
    runInBackground<LoadedLibrary>(
        mainQueue_, [folders] { return loadLibrary(folders); },
        [self = QPointer<LibraryModel>(this), generation](LoadedLibrary loaded) {
            if (!self || generation != self->generation_) return;
            self->loadWarnings_ = std::move(loaded.warnings);
            if (!loaded.folders.empty()) self->setFolders(std::move(loaded.folders));
            self->trackMembers_ = std::move(loaded.trackMembers);
            emit self->loaded(std::move(loaded.index), loaded.trackReferences);
            self->setLoading(false);
        },
        [library = folders.front()](const std::string& why) {
            // The library is shown empty with the reason among its load warnings.
            LoadedLibrary failed;
            failed.index = std::make_shared<const CrateIndex>();
            failed.warnings.push_back("Couldn't load " + platform::toUtf8(library) + ": " + why);
            return failed;
        });
}

void LibraryModel::setFolders(std::vector<fs::path> folders) {
    if (folders == folders_) return;
    folders_ = std::move(folders);
    libraryURL_ = folders_.front();
    emit libraryURLChanged();
}

void LibraryModel::setLoading(bool loading) {
    if (loading == isLoading_) return;
    isLoading_ = loading;
    emit isLoadingChanged();
}

}  // namespace morrowdeck
