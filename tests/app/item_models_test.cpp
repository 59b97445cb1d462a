#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "app/crate_tree_model.h"
#include "app/log_model.h"
#include "app/search_results_model.h"
#include "app_test_support.h"

namespace morrowdeck::test {

class ItemModelsTest : public QObject {
    Q_OBJECT

    // The row of the crate with this name under the parent.
    static QModelIndex find(const QAbstractItemModel& model, const QString& name,
                            const QModelIndex& parent = {}) {
        for (int row = 0; row < model.rowCount(parent); ++row)
            if (model.index(row, 0, parent).data() == name) return model.index(row, 0, parent);
        return {};
    }

  private slots:
    // The tree stays a consistent item model through loads, toggles and reloads; check
    // states follow the selection's tri-state, and one setData is one toggle.
    void crateTree() {
        LoadedModel m;
        CrateTreeModel tree(m.model->selection());
        QAbstractItemModelTester tester(&tree,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(m.load());
        const QModelIndex genres = find(tree, QStringLiteral("Genres"));
        const QModelIndex house = find(tree, QStringLiteral("House"), genres);
        const QModelIndex deep = find(tree, QStringLiteral("Deep"), house);
        QVERIFY(deep.isValid());
        QCOMPARE(deep.parent(), house);
        QCOMPARE(house.data(CrateRole::path), QStringLiteral("Genres / House"));
        QCOMPARE(find(tree, QStringLiteral("Sets")).data(CrateRole::path), QString());
        QCOMPARE(house.data(CrateRole::hasChildren), true);
        QCOMPARE(house.data(CrateRole::trackCount).toLongLong(),
                 static_cast<qint64>(tree.crate(house)->totalTrackCount()));
        QCOMPARE(deep.data(CrateRole::trackCount).toLongLong(),
                 static_cast<qint64>(tree.crate(deep)->tracks.size()));

        QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
        QVERIFY(tree.setData(deep, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!tree.setData(deep, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(changed.count() > 0);
        QCOMPARE(genres.data(Qt::CheckStateRole), Qt::PartiallyChecked);
        QVERIFY(tree.setData(genres, Qt::Checked, Qt::CheckStateRole));  // a mixed box's click
        QCOMPARE(deep.data(Qt::CheckStateRole), Qt::Checked);
        m.model->selection().selectNone();
        QVERIFY(m.load());
        QCOMPARE(find(tree, QStringLiteral("Genres")).data(Qt::CheckStateRole), Qt::Checked);
    }

    // The missing-tracks role reads the counts it is given; a change of them redraws every
    // row for that role.
    void crateTreeMissingTracks() {
        LoadedModel m;
        QVERIFY(m.load());
        CrateTreeModel tree(m.model->selection());
        const QModelIndex genres = find(tree, QStringLiteral("Genres"));
        QCOMPARE(genres.data(CrateRole::missingTracks).toLongLong(), 0);
        qint64 missing = 2;
        QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
        tree.setMissingTracks([&](const Crate& crate) { return crate.name == "Genres" ? missing : 0; });
        QVERIFY(changed.count() > 0);
        QCOMPARE(changed.first().at(2).value<QList<int>>(), QList<int>{CrateRole::missingTracks});
        QCOMPARE(genres.data(CrateRole::missingTracks).toLongLong(), 2);
        QCOMPARE(find(tree, QStringLiteral("Sets")).data(CrateRole::missingTracks).toLongLong(), 0);
        missing = 5;
        changed.clear();
        tree.missingTracksChanged();
        QVERIFY(changed.count() > 0);
        QCOMPARE(genres.data(CrateRole::missingTracks).toLongLong(), 5);
    }

    // Results come from the trimmed text, match through the joined path, and check like the tree.
    void searchResults() {
        LoadedModel m;
        QVERIFY(m.load());
        SearchResultsModel results(m.model->selection());
        QAbstractItemModelTester tester(&results,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.model->selection().setSearchText(QStringLiteral("   "));
        QCOMPARE(results.title(), QStringLiteral("Results (0)"));
        m.model->selection().setSearchText(QStringLiteral(" genres/house "));
        QCOMPARE(results.title(), QStringLiteral("Results (2)"));
        QCOMPARE(results.index(1).data(CrateRole::path), QStringLiteral("Genres / House / Deep"));
        QVERIFY(results.setData(results.index(1), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(m.model->selection().selectedCrates().size(), m.model->selection().allLeaves().size() - 1);
    }

    // The list follows the cap: the 2001st line removes the oldest row and inserts the
    // newest, so a view scrolls on every append.
    void logFollowsCap() {
        LoadedModel m;
        LogModel log(m.model->run());
        for (int i = 1; i <= 2000; ++i)
            m.model->run().appendLog(LogEntry(LogEntry::Level::info, std::to_string(i)));
        QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
        m.model->run().appendLog(LogEntry(LogEntry::Level::error, "2001"));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(log.rowCount(), 2000);
        QCOMPARE(log.index(0).data(), QStringLiteral("2"));
        QCOMPARE(log.index(1999).data(LogModel::levelRole),
                 static_cast<int>(LogEntry::Level::error));
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::ItemModelsTest)

#include "item_models_test.moc"
