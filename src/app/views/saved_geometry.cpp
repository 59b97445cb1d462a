#include "app/views/saved_geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/app_settings.h"
#include "app/window_sizing.h"

namespace morrowdeck::SavedGeometry {

bool restore(QWidget& window, const AppSettings& settings) {
    const auto saved = settings.windowGeometry();
    if (!saved) return false;
    QScreen* screen = QGuiApplication::screenAt(saved->normal.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return false;
    window.setGeometry(placeOnScreen(saved->normal, screen->availableGeometry(), window.minimumSize()));
    if (saved->maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
    return true;
}

void save(const QWidget& window, AppSettings& settings) {
    settings.setWindowGeometry({window.normalGeometry(), window.isMaximized()});
}

}  // namespace morrowdeck::SavedGeometry
