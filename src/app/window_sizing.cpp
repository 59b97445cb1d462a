#include "app/window_sizing.h"

#include <algorithm>

namespace morrowdeck {

QSize initialContentSize(std::optional<QSize> availableScreen) {
    const QSize frame = availableScreen.value_or(QSize(1440, 900));
    return {std::min(frame.width() * 90 / 100, 1280), std::min(frame.height() * 92 / 100, 860)};
}

QRect placeOnScreen(const QRect& saved, const QRect& available, const QSize& minimum) {
    const int width = std::clamp(saved.width(), std::min(minimum.width(), available.width()), available.width());
    const int height =
        std::clamp(saved.height(), std::min(minimum.height(), available.height()), available.height());
    const int x = std::clamp(saved.x(), available.left(), available.left() + available.width() - width);
    const int y = std::clamp(saved.y(), available.top(), available.top() + available.height() - height);
    return {x, y, width, height};
}

}  // namespace morrowdeck
