#include "app/library_discovery.h"

#include <QPointer>
#include <utility>

#include "engine/background_task.h"

namespace morrowdeck {

LibraryDiscovery::LibraryDiscovery(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue)) {}

void LibraryDiscovery::setPlaces(LibraryFinder::Places places) {
    places_ = std::move(places);
}

void LibraryDiscovery::findLibraries() {
    const std::uint64_t generation = ++generation_;
    auto places = places_.value_or(LibraryFinder::Places::system());
    runInBackground<std::vector<FoundLibrary>>(
        mainQueue_, [places = std::move(places)] { return LibraryFinder::find(places); },
        [self = QPointer<LibraryDiscovery>(this), generation](std::vector<FoundLibrary> found) {
            if (!self || generation != self->generation_ || found == self->found_) return;
            self->found_ = std::move(found);
            emit self->foundLibrariesChanged();
        });
}

}  // namespace morrowdeck
