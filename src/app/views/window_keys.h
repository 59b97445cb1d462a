#pragma once

class QWidget;

namespace morrowdeck {

// Escape and Ctrl+W (the platform's Close key) close a secondary window from wherever its
// focus is, as desktop users expect of a window that is not the application's main one.
void closeWithKeys(QWidget& window);

}  // namespace morrowdeck
