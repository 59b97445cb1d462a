#include "app/window_sizing.h"

#include <algorithm>

namespace morrowdeck {

namespace {

// wanted, no larger than 90 % of the screen's width and 92 % of its height (room for the
// window's frame and the desktop's panels).
QSize withinScreen(QSize wanted, std::optional<QSize> availableScreen) {
    const QSize frame = availableScreen.value_or(QSize(1440, 900));
    return {std::min(frame.width() * 90 / 100, wanted.width()), std::min(frame.height() * 92 / 100, wanted.height())};
}

}  // namespace

QSize initialContentSize(std::optional<QSize> availableScreen) {
    return withinScreen({1280, 860}, availableScreen);
}

QSize defaultContentSize(std::optional<QSize> availableScreen) {
    return withinScreen({1200, 800}, availableScreen);
}

QSize fitWithinScreen(QSize wanted, std::optional<QSize> availableScreen) {
    return withinScreen(wanted, availableScreen);
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
