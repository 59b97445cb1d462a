#include "app/reveal_action.h"

#include <QPointer>
#include <utility>

#include "app/library_model.h"
#include "app/plan_model.h"
#include "platform/path_text.h"

namespace morrowdeck {

RevealAction::RevealAction(const LibraryModel& library, const PlanModel& plan, QObject* parent)
    : QObject(parent), library_(library), plan_(plan) {}

void RevealAction::setRevealer(Revealer revealer) {
    reveal_ = std::move(revealer);
}

void RevealAction::setRunDestination(std::filesystem::path folder) {
    runDestination_ = std::move(folder);
}

void RevealAction::revealDestination() {
    const auto& folder = runDestination_ ? runDestination_ : plan_.destinationURL();
    if (folder) reveal(*folder);
}

void RevealAction::revealLibrary() {
    if (library_.libraryURL()) reveal(*library_.libraryURL());
}

void RevealAction::reveal(const std::filesystem::path& folder) {
    if (!reveal_) return;
    reveal_(folder, [self = QPointer<RevealAction>(this),
                     shown = QString::fromStdString(platform::toUtf8(folder))] {
        if (self) emit self->revealFailed(shown);
    });
}

}  // namespace morrowdeck
