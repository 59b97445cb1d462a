#include "library/crate.h"

namespace morrowdeck {

std::size_t Crate::totalTrackCount() const {
    std::size_t total = tracks.size();
    for (const auto& child : children)
        total += child->totalTrackCount();
    return total;
}

}  // namespace morrowdeck
