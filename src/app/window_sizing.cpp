#include "app/window_sizing.h"

#include <algorithm>

namespace morrowdeck {

QSize initialContentSize(std::optional<QSize> availableScreen) {
    const QSize frame = availableScreen.value_or(QSize(1440, 900));
    return {std::min(frame.width() * 90 / 100, 1280), std::min(frame.height() * 92 / 100, 860)};
}

}  // namespace morrowdeck
