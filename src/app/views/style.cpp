#include "app/views/style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace morrowdeck::Style {

namespace {

qreal factor(Text text) {
    switch (text) {
        case Text::title2: return 1.5;
        case Text::title3: return 1.25;
        case Text::headline:
        case Text::body: return 1.0;
        case Text::callout: return 0.95;
        case Text::caption: return 0.85;
        case Text::caption2: return 0.75;
    }
    return 1.0;
}

QFont sized(QFont font, Text text) {
    const qreal base = QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 10;
    font.setPointSizeF(base * factor(text));
    if (text == Text::headline) font.setBold(true);
    return font;
}

}  // namespace

QFont font(Text text) { return sized(QApplication::font(), text); }

QFont monospaced(Text text) { return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), text); }

QColor accent(const QPalette& palette) { return palette.color(QPalette::Highlight); }
QColor secondary(const QPalette& palette) { return palette.color(QPalette::PlaceholderText); }
QColor primary(const QPalette& palette) { return palette.color(QPalette::WindowText); }
QColor green() { return QColor(0x2e, 0xa0, 0x43); }
QColor blue() { return QColor(0x35, 0x84, 0xe4); }
QColor orange() { return QColor(0xe6, 0x7e, 0x22); }
QColor red() { return QColor(0xe0, 0x1b, 0x24); }

void apply(QLabel& label, Text text, const QColor& color) {
    label.setFont(font(text));
    if (color.isValid()) {
        QPalette palette = label.palette();
        palette.setColor(QPalette::WindowText, color);
        label.setPalette(palette);
    }
}

namespace {

// A colour for a style sheet with its alpha kept: QColor::name() drops it, which turns a
// translucent grey into solid black.
QString css(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

}  // namespace

// The border is always there, transparent until the button has keyboard focus, so the focus
// ring never changes the button's size.
void prominent(QPushButton& button) {
    const QPalette& palette = button.palette();
    QColor ring = palette.color(QPalette::HighlightedText);
    ring.setAlpha(200);
    button.setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 2px solid transparent; "
                       "border-radius: 6px; padding: 5px 13px; font-weight: 600; }"
                       "QPushButton:focus { border-color: %3; }"
                       "QPushButton:disabled { background: %4; color: %5; border-color: %5; }")
            .arg(css(accent(palette)), css(palette.color(QPalette::HighlightedText)), css(ring),
                 css(palette.color(QPalette::Disabled, QPalette::Button)),
                 css(palette.color(QPalette::Disabled, QPalette::ButtonText))));
}

void destructive(QPushButton& button) {
    button.setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; "
                       "padding: 6px 14px; font-weight: 600; }")
            .arg(red().name()));
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace morrowdeck::Style
