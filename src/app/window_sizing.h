#pragma once

#include <QRect>
#include <QSize>
#include <optional>

namespace morrowdeck {

// The main window's content size on the very first launch: the smaller of 90 % of the
// available screen width and 1280, by the smaller of 92 % of its height and 860. Without a
// screen a 1440 × 900 area is assumed. 1920 × 1055 gives 1280 × 860, 1280 × 775 gives
// 1152 × 713, no screen 1280 × 828.
QSize initialContentSize(std::optional<QSize> availableScreen);

// Where a window saved at `saved` opens on a screen whose available area is `available`: no
// larger than that area (but not below `minimum` where the area allows it) and moved inside
// it, so a window saved on a larger or a disconnected screen is never off-screen.
QRect placeOnScreen(const QRect& saved, const QRect& available, const QSize& minimum);

// The main window's content size when nothing else sets it: 1200 × 800, within the same share
// of the available screen, so a small or scaled screen (1366 × 768 at 150 % is 911 × 512)
// shows the whole window.
QSize defaultContentSize(std::optional<QSize> availableScreen);

// A window of its own size `wanted` (the restore window's 580 × 740) made to fit the same share
// of the available screen, so its own buttons stay on a small or scaled screen.
QSize fitWithinScreen(QSize wanted, std::optional<QSize> availableScreen);

// The settings key that records that the first-launch sizing was done.
inline constexpr const char* didSetInitialWindowSizeKey = "didSetInitialWindowSize";

}  // namespace morrowdeck
