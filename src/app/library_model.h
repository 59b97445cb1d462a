#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/folder_request.h"
#include "engine/main_queue.h"

namespace morrowdeck {

class CrateIndex;

// The chosen Serato library and its loading: where it is, whether a load is under way, and the
// damaged crate files the latest load found. The loaded crates go to whoever listens to
// loaded(); this model keeps no forest.
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

    const std::optional<std::filesystem::path>& libraryURL() const { return libraryURL_; }
    QString libraryPath() const;  // "" when none
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

    std::shared_ptr<MainQueue> mainQueue_;
    FolderChooser chooseFolder_;
    std::optional<std::filesystem::path> libraryURL_;
    bool isLoading_ = false;
    bool locked_ = false;
    std::vector<std::string> loadWarnings_;
    // Counts loads; a completion whose number is no longer current is ignored.
    std::uint64_t generation_ = 0;
};

}  // namespace morrowdeck
