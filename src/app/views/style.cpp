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

void prominent(QPushButton& button) {
    const QPalette& palette = button.palette();
    button.setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border-radius: 6px; "
                       "padding: 6px 14px; font-weight: 600; }"
                       "QPushButton:disabled { background: %3; color: %4; border: 1px solid %4; }")
            .arg(accent(palette).name(), palette.color(QPalette::HighlightedText).name(),
                 palette.color(QPalette::Button).name(), secondary(palette).name()));
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
