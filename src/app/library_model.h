#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/folder_request.h"
#include "engine/main_queue.h"

namespace morrowdeck {

class CrateIndex;
struct Crate;

// The chosen Serato library and its loading: where it is, whether a load is under way, and the
// damaged crate files the latest load found. The library may span several _Serato_ folders
// (the computer's and its drives'), loaded as one crate tree. The loaded crates go to whoever
// listens to loaded(); this model keeps no forest, only which library each of their tracks
// belongs to.
//
// Threads: UI thread only. A load runs through the engine layer's background helper and never
// waits here for a drive; its result comes back through the main queue and holds the model
// through a QPointer. A load superseded by a newer one is ignored, so what arrives always
// belongs to the chosen library.
class LibraryModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString libraryPath READ libraryPath NOTIFY libraryURLChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

  public:
    explicit LibraryModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    ~LibraryModel() override;

    void setFolderChooser(FolderChooser chooser);

    // The library, or the first of several loaded as one (the one whose database a backup
    // copies).
    const std::optional<std::filesystem::path>& libraryURL() const { return libraryURL_; }
    QString libraryPath() const;  // "" when none
    // Every _Serato_ folder of the loaded library in member order, libraryURL() first; empty
    // without a library.
    const std::vector<std::filesystem::path>& libraryFolders() const { return folders_; }
    // Several _Serato_ folders make up the library.
    bool spansLibraries() const { return folders_.size() > 1; }
    // With several libraries: for each loaded crate, the member index of each of its tracks
    // (MergedForest::trackMembers), as BackupEngine::setLibraries takes it. Empty otherwise.
    using TrackMembers = std::unordered_map<const Crate*, std::vector<std::size_t>>;
    const TrackMembers& trackMembers() const { return trackMembers_; }
    // The library's track database, which a backup copies; absent without a library.
    std::optional<std::filesystem::path> databaseURL() const;
    bool isLoading() const { return isLoading_; }
    // Damaged crate files of the loaded library, one line each.
    const std::vector<std::string>& loadWarnings() const { return loadWarnings_; }

    // While locked (a backup of the loaded library is under way) no other library is chosen,
    // opened or loaded, and the same one is not reloaded: each attempt emits refused() and
    // changes nothing, so the crates being copied stay the ones on screen.
    void setLocked(bool locked) { locked_ = locked; }
    bool isLocked() const { return locked_; }

    // Loads the home folder's library when it exists.
    void loadDefaultLibrary();
    // Asks for a folder and opens it (no question while locked).
    void chooseLibrary();
    // Loads the library at or inside `folder`; libraryNotFound() when there is none.
    void open(const std::filesystem::path& folder);
    void load(const std::filesystem::path& library);
    // Loads these _Serato_ folders as one library, their crates merged by path (each folder
    // once, in this order); a single folder is load(folder).
    void loadAll(std::vector<std::filesystem::path> libraries);
    // Loads the same library, or libraries, again.
    void reload();

  signals:
    void libraryURLChanged();
    void isLoadingChanged();
    void loadStarted();
    // A load ended: the forest's index (empty when the library could not be read) and how many
    // track references its crates hold. Emitted before isLoading turns false.
    void loaded(std::shared_ptr<const CrateIndex> index, std::size_t trackReferences);
    // The folder holds no Serato library; `folder` is the one chosen.
    void libraryNotFound(const QString& folder);
    // A choice, open or load asked for while locked.
    void refused();

  private:
    void setLoading(bool loading);
    void setFolders(std::vector<std::filesystem::path> folders);
    void startLoad(std::vector<std::filesystem::path> folders);

    std::shared_ptr<MainQueue> mainQueue_;
    FolderChooser chooseFolder_;
    std::optional<std::filesystem::path> libraryURL_;
    std::vector<std::filesystem::path> folders_;
    TrackMembers trackMembers_;
    bool isLoading_ = false;
    bool locked_ = false;
    std::vector<std::string> loadWarnings_;
    // Counts loads; a completion whose number is no longer current is ignored.
    std::uint64_t generation_ = 0;
};

}  // namespace morrowdeck
