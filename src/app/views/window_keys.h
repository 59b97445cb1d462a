#pragma once

#include <QList>

class QWidget;

namespace morrowdeck {

// Escape and Ctrl+W (the platform's Close key) close a secondary window from wherever its
// focus is, as desktop users expect of a window that is not the application's main one.
void closeWithKeys(QWidget& window);

// Sets Tab to walk the sections in the order given, and within each section the widgets that
// take focus by Tab in the order they became its children (a spin box, drop-down or item
// view counts as one stop). Scroll areas should not take focus themselves, so Tab goes
// straight into their content.
void chainTabOrder(const QList<QWidget*>& sections);

}  // namespace morrowdeck
