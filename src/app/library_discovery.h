#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/main_queue.h"
#include "library/library_finder.h"

namespace morrowdeck {

// The Serato libraries found on this computer and its drives, for the Library menu.
//
// Threads: UI thread only. A search runs through the engine layer's background helper (a
// sleeping drive never blocks the UI) and its result comes back through the main queue,
// holding the model through a QPointer; a result superseded by a newer search is ignored.
class LibraryDiscovery final : public QObject {
    Q_OBJECT

  public:
    explicit LibraryDiscovery(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);

    // The libraries found by the latest search.
    const std::vector<FoundLibrary>& foundLibraries() const { return found_; }
    // Looks for libraries off the UI thread; foundLibrariesChanged() when the list differs.
    void findLibraries();
    void setPlaces(LibraryFinder::Places places);  // tests: where findLibraries looks

  signals:
    void foundLibrariesChanged();

  private:
    std::shared_ptr<MainQueue> mainQueue_;
    std::vector<FoundLibrary> found_;
    std::optional<LibraryFinder::Places> places_;  // the system's when absent
    std::uint64_t generation_ = 0;                 // counts searches; only the latest is used
};

}  // namespace morrowdeck
