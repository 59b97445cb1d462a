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

}  // namespace morrowdeck
