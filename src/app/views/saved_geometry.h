#pragma once

class QWidget;

namespace morrowdeck {

class AppSettings;

// The main window's size and place between launches.
namespace SavedGeometry {

// Gives `window` its saved geometry, fitted into the available area of the screen it opens on
// (the one under the saved centre, else the primary one), and maximises it when it was.
// Returns false, changing nothing, when none is saved.
bool restore(QWidget& window, const AppSettings& settings);

// Saves the window's geometry when not maximised, and whether it is maximised.
void save(const QWidget& window, AppSettings& settings);

}  // namespace SavedGeometry

}  // namespace morrowdeck
