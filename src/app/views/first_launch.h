#pragma once

class QSettings;
class QWidget;

namespace morrowdeck {

// Sizes the main window once per user: on the very first launch its content becomes
// min(90 % of the screen's available width, 1280) × min(92 % of its height, 860), centred.
// Later launches keep the window's own size; removing the setting sizes it again.
namespace FirstLaunch {

// Marks the sizing as done and returns true when it had not been done before. The mark is
// written before any window work, so a failure later still makes it a one-time attempt.
bool claim(QSettings& settings);

// Sizes and centres the application's first top-level window (nothing when there is none),
// on the event loop's next turn so that the window exists and has a screen.
void scheduleSizing();

// The sizing itself, for the window given.
void size(QWidget& window);

}  // namespace FirstLaunch

}  // namespace morrowdeck
