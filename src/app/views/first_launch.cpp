#include "app/views/first_launch.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include "app/window_sizing.h"

namespace morrowdeck::FirstLaunch {

bool claim(QSettings& settings) {
    if (settings.value(didSetInitialWindowSizeKey, false).toBool()) return false;
    settings.setValue(didSetInitialWindowSizeKey, true);
    settings.sync();
    return true;
}

void scheduleSizing() {
    QTimer::singleShot(0, qApp, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isWindow() && widget->isVisible()) {
                size(*widget);
                return;
            }
        }
    });
}

void size(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    std::optional<QSize> available;
    if (screen) available = screen->availableGeometry().size();
    window.resize(initialContentSize(available));
    if (screen) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

}  // namespace morrowdeck::FirstLaunch
