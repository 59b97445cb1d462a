// The summary of what a backup will do, shown before it starts, and the selection line, driven
// through the main window on a demo library of the test's own.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include "app/app_model.h"
#include "app/crate_roles.h"
#include "app/qt_main_queue.h"
#include "app/views/action_bar.h"
#include "app/views/detail_view.h"
#include "app/views/main_window.h"
#include "app/views/preflight_summary.h"
#include "app/views/sidebar_view.h"
#include "app_test_support.h"
#include "platform/path_text.h"

using namespace morrowdeck;
namespace fs = std::filesystem;

class PreflightTest final : public QObject {
    Q_OBJECT

  private slots:
    void summaryBeforeAndAfterABackup();
};

void PreflightTest::summaryBeforeAndAfterABackup() {
    test::isolateSettings();
    QTemporaryDir temp;
    const fs::path demo = fs::path(temp.filePath("demo").toStdString());
    QCOMPARE(QProcess::execute(MORROWDECK_DEMO_LIBRARY,
                               {QString::fromStdString(platform::toUtf8(demo))}),
             0);
    MainWindow window(std::make_shared<QtMainQueue>(), demo / "_Serato_");
    window.show();
    QTRY_COMPARE(window.sidebar()->page(), "tree");
    AppModel& model = window.model();
    DetailView& detail = *window.detail();
    PreflightSummary& summary = *detail.preflight();

    // Without a destination: what would be copied, and a prompt for the destination.
    QTRY_VERIFY(model.plan().selectionPreview());
    QVERIFY(summary.isVisible());
    QVERIFY(summary.totalsText().contains(" files to copy ("));
    QCOMPARE(summary.fitText(), "Choose a destination to see what is already backed up there.");
    // The demo's tracks are shared between crates: the line says both counts.
    const auto entries = model.selection().selectedTrackCount();
    QCOMPARE(detail.actionBar()->tracksText(), QStringLiteral("60 tracks in %1 crate entries").arg(entries));

    QVERIFY(summary.breakdown()->isHidden());
    summary.crateToggle()->click();
    QVERIFY(summary.breakdown()->isVisible());
    QCOMPARE(summary.breakdown()->topLevelItemCount(), int(model.selection().selectedCrates().size()));

    // A folder that exists: Start waits while a destination is missing (an unplugged drive).
    const QString destination = temp.filePath("backup");
    QVERIFY(QDir().mkpath(destination));
    model.plan().setDestinationURL(fs::path(destination.toStdString()));
    QTRY_VERIFY(summary.fitText().startsWith("Fits"));
    QVERIFY(!summary.fitIsWarning());
    model.start();
    QVERIFY(model.run().isRunning());
    QVERIFY(summary.isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!model.run().isRunning(), 120000);
    // The plan after the run: everything is there.
    QTRY_VERIFY(summary.isVisible() && summary.isEnabled());
    QVERIFY2(summary.totalsText().startsWith("Nothing to copy • "), qPrintable(summary.totalsText()));
    QVERIFY(summary.totalsText().endsWith(" up to date"));

    // A track gone before the library is read again: counted as missing, and its crates badged.
    QDirIterator tracks(QString::fromStdString(platform::toUtf8(demo / "Music")), {"*.wav"},
                        QDir::Files, QDirIterator::Subdirectories);
    QVERIFY(tracks.hasNext());
    QVERIFY(QFile::remove(tracks.next()));
    model.library().load(demo / "_Serato_");
    QTRY_VERIFY(summary.totalsText().endsWith(" missing"));
    QTreeView& tree = *window.sidebar()->tree();
    const std::function<qint64(const QModelIndex&)> badged = [&](const QModelIndex& parent) {
        qint64 found = 0;
        for (int row = 0; row < tree.model()->rowCount(parent); ++row) {
            const QModelIndex index = tree.model()->index(row, 0, parent);
            if (index.data(CrateRole::missingTracks).toLongLong() > 0 &&
                !index.data(CrateRole::hasChildren).toBool())
                ++found;
            found += badged(index);
        }
        return found;
    };
    QTRY_VERIFY(badged({}) > 0);
    QVERIFY(summary.breakdown()->isVisible());  // stays open across plans
}

QTEST_MAIN(PreflightTest)
#include "preflight_test.moc"
