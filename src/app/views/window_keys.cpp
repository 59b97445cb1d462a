#include "app/views/window_keys.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace morrowdeck {

namespace {

// The Tab stops under widget, depth first in child order. A widget that takes focus and
// draws its own parts (a list, a spin box's field, a drop-down) is one stop; a plain
// container is looked into.
void collectStops(QWidget& widget, QList<QWidget*>& stops) {
    for (QObject* object : widget.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isWindow()) continue;
        if (child->focusPolicy() & Qt::TabFocus) stops << child;
        const bool whole = qobject_cast<QAbstractItemView*>(child) || qobject_cast<QAbstractSpinBox*>(child) ||
                           qobject_cast<QComboBox*>(child);
        if (!whole) collectStops(*child, stops);
    }
}

}  // namespace

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

void chainTabOrder(const QList<QWidget*>& sections) {
    QList<QWidget*> stops;
    for (QWidget* section : sections) {
        if (section->focusPolicy() & Qt::TabFocus) stops << section;
        collectStops(*section, stops);
    }
    for (qsizetype i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
}

}  // namespace morrowdeck
