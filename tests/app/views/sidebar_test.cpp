// The sidebar's crate rows: a name or path that does not fit shows in full as a tooltip, and
// only then.
#include <QStandardItemModel>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

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
};

}  // namespace morrowdeck

QTEST_MAIN(morrowdeck::SidebarTest)
#include "sidebar_test.moc"
