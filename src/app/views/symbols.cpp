#include "app/views/symbols.h"

#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPainter>
#ifndef MORROWDECK_NO_SVG
#include <QSvgRenderer>
#endif

#include "app/views/style.h"

namespace morrowdeck::Symbols {

namespace {

// Interface symbol name → SVG of the bundled Adwaita symbolic set (icons/LICENSE).
const QHash<QString, QString>& table() {
    static const QHash<QString, QString> files{
        {"music.note.house", "folder-music"},
        {"arrow.uturn.backward.circle", "document-revert"},
        {"arrow.uturn.backward.circle.fill", "document-revert"},
        {"arrow.uturn.backward", "edit-undo"},
        {"rectangle.bottomthird.inset.filled", "drive-removable-media"},
        {"folder", "folder"},
        {"folder.fill", "inode-directory"},
        {"arrow.clockwise", "view-refresh"},
        {"magnifyingglass", "system-search"},
        {"tray", "folder-open"},
        {"checklist", "selection-mode"},
        {"checkmark.square.fill", "checkbox-checked"},
        {"minus.square.fill", "checkbox-mixed"},
        {"square", "checkbox"},
        {"music.note.list", "audio-x-generic"},
        {"externaldrive", "drive-harddisk"},
        {"externaldrive.fill", "drive-harddisk-solidstate"},
        {"speedometer", "power-profile-performance"},
        {"clock", "preferences-system-time"},
        {"stop.fill", "media-playback-stop"},
        {"play.fill", "media-playback-start"},
        {"list.bullet.rectangle", "view-list-bullet"},
        {"info.circle", "help-about"},
        {"checkmark.circle.fill", "emblem-default"},
        {"exclamationmark.triangle.fill", "dialog-warning"},
        {"xmark.octagon.fill", "dialog-error"},
        {"xmark.circle.fill", "window-close"},
        {"shippingbox", "package-x-generic"},
        {"wand.and.stars", "star-new"},
    };
    return files;
}

}  // namespace

QString file(const QString& name) {
    const auto found = table().constFind(name);
    return found == table().constEnd() ? QString()
                                       : QStringLiteral(":/symbols/%1-symbolic.svg").arg(*found);
}

QPixmap pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio) {
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    QPixmap result(pixels, pixels);
    result.fill(Qt::transparent);
#ifndef MORROWDECK_NO_SVG
    QSvgRenderer renderer(file(name));
    if (renderer.isValid()) {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        // Keep the shape's coverage, replace its colours with the one asked for.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(result.rect(), color);
    }
#else
    // Without Qt SVG the check boxes are still drawn, so a crate's tick stays visible.
    const bool checked = name == QLatin1String("checkmark.square.fill");
    const bool mixed = name == QLatin1String("minus.square.fill");
    if (checked || mixed || name == QLatin1String("square")) {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal line = qMax(1.0, pixels / 12.0);
        const QRectF box = QRectF(0, 0, pixels, pixels).adjusted(line, line, -line, -line);
        painter.setPen(QPen(color, line));
        painter.setBrush(checked || mixed ? QBrush(color) : QBrush());
        painter.drawRoundedRect(box, pixels / 6.0, pixels / 6.0);
        painter.setPen(QPen(Qt::white, line * 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const qreal s = pixels;
        if (checked)
            painter.drawPolyline(QPolygonF{{0.28 * s, 0.52 * s}, {0.44 * s, 0.68 * s}, {0.72 * s, 0.34 * s}});
        else if (mixed)
            painter.drawLine(QPointF(0.3 * s, 0.5 * s), QPointF(0.7 * s, 0.5 * s));
    }
#endif
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon icon(const QString& name, const QColor& color) {
    QColor faded = color;
    faded.setAlphaF(color.alphaF() * 0.4);
    QIcon result;
    for (const int size : {16, 24, 32, 48}) {
        result.addPixmap(pixmap(name, size, color), QIcon::Normal);
        result.addPixmap(pixmap(name, size, faded), QIcon::Disabled);
    }
    return result;
}

QWidget* secondaryRow(const QString& name, QLabel* text, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* icon = new QLabel(box);
    icon->setPixmap(pixmap(name, 14, Style::secondary(parent->palette()), parent->devicePixelRatioF()));
    text->setParent(box);
    Style::apply(*text, Style::Text::callout, Style::secondary(parent->palette()));
    layout->addWidget(icon);
    layout->addWidget(text);
    return box;
}

}  // namespace morrowdeck::Symbols
