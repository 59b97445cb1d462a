#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace morrowdeck {

// Text sizes, colours and fonts shared by the windows. Sizes are relative to the application
// font, so the windows follow the desktop's font settings.
namespace Style {

enum class Text { title2, title3, headline, body, callout, caption, caption2 };

// The application font at the text style's size (headline is the body size in bold).
QFont font(Text text);
// The same size in a fixed-width font, for digits that must not jump as they change.
QFont monospaced(Text text);

QColor accent(const QPalette& palette);     // the highlight colour
QColor secondary(const QPalette& palette);  // the dimmed text colour
QColor primary(const QPalette& palette);    // the normal text colour
// Fixed status colours, readable on light and dark palettes.
QColor green();
QColor blue();
QColor orange();
QColor red();

// Gives the label a text style and, when valid, a text colour.
void apply(QLabel& label, Text text, const QColor& color = QColor());

// The filled accent-coloured button of a window's main action (greyed out when disabled).
void prominent(QPushButton& button);
// The filled red button that stops a running action.
void destructive(QPushButton& button);
// A thin horizontal line between a header row and what it heads.
QFrame* divider(QWidget* parent);

}  // namespace Style

}  // namespace morrowdeck
