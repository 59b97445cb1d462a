// The prominent button as it is drawn: disabled looks disabled (never black text on grey), and
// keyboard focus shows a ring without changing the button's size.
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QtTest>

#include "app/views/style.h"

namespace morrowdeck {

namespace {

QImage drawn(QPushButton& button) {
    QImage image(button.size(), QImage::Format_ARGB32);
    image.fill(button.palette().color(QPalette::Window));
    button.render(&image);
    return image;
}

// The darkest pixel's lightness, 0-255.
int darkest(const QImage& image) {
    int least = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            least = std::min(least, QColor(image.pixel(x, y)).lightness());
    return least;
}

}  // namespace

class StyleTest : public QObject {
    Q_OBJECT

  private slots:
    void disabledProminentButtonLooksDisabled() {
        QPushButton button(QStringLiteral("Start Backup"));
        Style::prominent(button);
        button.resize(button.sizeHint());
        const QImage enabled = drawn(button);
        button.setEnabled(false);
        const QImage disabled = drawn(button);
        QVERIFY(enabled != disabled);
        // The disabled text is the palette's translucent grey, not the solid black that a
        // colour written without its alpha gives.
        QVERIFY2(darkest(disabled) > 60, qPrintable(QString::number(darkest(disabled))));
    }

    void focusShowsARingOfTheSameSize() {
        QWidget window;
        auto* other = new QPushButton(QStringLiteral("Other"), &window);
        auto* button = new QPushButton(QStringLiteral("Start Backup"), &window);
        button->move(0, 40);
        Style::prominent(*button);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        const QSize size = button->sizeHint();
        const QImage plain = drawn(*button);
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        QCOMPARE(button->sizeHint(), size);
        QVERIFY(drawn(*button) != plain);
    }
};

}  // namespace morrowdeck

QTEST_MAIN(morrowdeck::StyleTest)
#include "style_test.moc"
