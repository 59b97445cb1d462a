#include "app/views/window_keys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace morrowdeck {

void closeWithKeys(QWidget& window) {
    // The platform's Close keys (Ctrl+F4 on some desktops) and Ctrl+W, each once.
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)})
        if (!keys.contains(key)) keys << key;
    for (const QKeySequence& key : keys) {
        auto* shortcut = new QShortcut(key, &window);
        QObject::connect(shortcut, &QShortcut::activated, &window, &QWidget::close);
    }
}

}  // namespace morrowdeck
