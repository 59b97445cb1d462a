#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

namespace morrowdeck {

// The symbols the windows show, by the names the interface texts use ("folder.fill",
// "checkmark.square.fill", ...). Each name maps to one bundled SVG; the SVGs are drawn in a
// single colour chosen by the caller, so they read on light and dark palettes and do not
// depend on an icon theme being installed.
namespace Symbols {

// The resource path of the symbol's SVG, or "" for a name the table does not hold.
QString file(const QString& name);

// The symbol filled with `color`, `size` logical pixels square, at the device pixel ratio.
QPixmap pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio = 1.0);

// An icon in `color`, with a faded variant for disabled controls.
QIcon icon(const QString& name, const QColor& color);

// A row of a small symbol and `text` (reparented into it), both in the secondary colour of
// `parent`'s palette: the throughput and time-left lines of the progress sections.
QWidget* secondaryRow(const QString& name, QLabel* text, QWidget* parent);

}  // namespace Symbols

}  // namespace morrowdeck
