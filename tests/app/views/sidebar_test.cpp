// The sidebar's crate rows: a name or path that does not fit shows in full as a tooltip, and
// only then; a crate with tracks not found carries a badge.
#include <QStandardItemModel>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include "app/crate_roles.h"
#include "app/views/crate_row_delegate.h"

namespace morrowdeck {

class SidebarTest : public QObject {
    Q_OBJECT

  private slots:
    void cutNamesHaveTooltips() {
        const QString longName = QStringLiteral("Warm-up Sets — Deep and Soulful House, Vol. 12");
        QStandardItemModel model;
        auto* genres = new QStandardItem(QStringLiteral("Genres"));
        genres->appendRow(new QStandardItem(longName));
        genres->appendRow(new QStandardItem(QStringLiteral("Deep")));
        model.appendRow(genres);
        QTreeView view;
        view.setHeaderHidden(true);
        view.setModel(&model);
        view.setItemDelegate(new CrateRowDelegate(false, &view));
        view.resize(220, 200);
        view.expandAll();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const auto tipAt = [&](const QModelIndex& index) {
            QToolTip::hideText();
            if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); })) return QStringLiteral("stuck");
            const QPoint at = view.visualRect(index).center();
            QHelpEvent event(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
            QApplication::sendEvent(view.viewport(), &event);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(model.index(0, 0, genres->index())),
                 longName + "\nGenres / " + longName);
        QCOMPARE(tipAt(model.index(1, 0, genres->index())), QString());  // "Deep" fits
    }

    // A crate with tracks not found carries a warning badge before its count, whose tooltip
    // says how many; a crate without has neither.
    void missingTracksBadge() {
        QStandardItemModel model;
        for (const auto& [name, missing] : {std::pair{"House", 3}, {"Techno", 0}, {"Disco", 1}}) {
            auto* item = new QStandardItem(QString::fromUtf8(name));
            item->setData(qint64(120), CrateRole::trackCount);
            item->setData(qint64(missing), CrateRole::missingTracks);
            model.appendRow(item);
        }
        QTreeView view;
        view.setHeaderHidden(true);
        view.setModel(&model);
        view.setItemDelegate(new CrateRowDelegate(false, &view));
        view.resize(260, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const QImage picture = view.viewport()->grab().toImage();
        const auto orangeIn = [&](const QRect& area) {
            int count = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QColor pixel = picture.pixelColor(x * picture.width() / view.viewport()->width(),
                                                            y * picture.height() / view.viewport()->height());
                    if (pixel.red() > 180 && pixel.green() > 60 && pixel.green() < 190 && pixel.blue() < 90)
                        ++count;
                }
            return count;
        };
        const QModelIndex house = model.index(0, 0);
        const QModelIndex techno = model.index(1, 0);
        const QRect badge = CrateRowDelegate::badgeRect(view.visualRect(house), house);
        QVERIFY(!badge.isNull());
        QVERIFY(orangeIn(badge) > 10);
        QVERIFY(CrateRowDelegate::badgeRect(view.visualRect(techno), techno).isNull());
        QCOMPARE(orangeIn(view.visualRect(techno)), 0);

        const auto tipAt = [&](const QModelIndex& index) {
            QToolTip::hideText();
            if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); })) return QStringLiteral("stuck");
            const QPoint at = view.visualRect(index).center();
            QHelpEvent event(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
            QApplication::sendEvent(view.viewport(), &event);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(house), "3 tracks missing");
        QCOMPARE(tipAt(model.index(2, 0)), "1 track missing");
        QCOMPARE(tipAt(techno), QString());
    }
};

}  // namespace morrowdeck

QTEST_MAIN(morrowdeck::SidebarTest)
#include "sidebar_test.moc"
