#include <sqlite3.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "app/crate_tree_model.h"
#include "app/log_model.h"
#include "app/search_results_model.h"
#include "app_test_support.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

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

    // A crate only Serato's database (master.sqlite under the home folder) holds has no crate
    // file: it is a row of the tree with its tracks, and selected and unselected like any other.
    void databaseOnlyCrate() {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        const fs::path home(dir.path().toStdString());
        const fs::path library = home / "_Serato_";
        fs::create_directories(library / "Subcrates");
        const fs::path master = SeratoFolder::masterDatabase(home);
        fs::create_directories(master.parent_path());
        const std::string prefix = SeratoLibrary::volumeMountPrefix(library);
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(platform::toUtf8(master).c_str(), &db), SQLITE_OK);
        const std::string sql =
            "CREATE TABLE location (id INTEGER PRIMARY KEY, path TEXT, uuid BLOB);"
            "CREATE TABLE container (id INTEGER PRIMARY KEY, parent_id INTEGER, name TEXT,"
            " type INTEGER, list_order INTEGER);"
            "CREATE TABLE location_container (id INTEGER PRIMARY KEY, container_id INTEGER,"
            " location_id INTEGER);"
            "CREATE TABLE asset (id INTEGER PRIMARY KEY, location_id INTEGER, portable_id TEXT);"
            "CREATE TABLE container_asset (id INTEGER PRIMARY KEY, asset_id INTEGER,"
            " location_container_id INTEGER, list_order INTEGER);"
            "INSERT INTO location VALUES (1, '" + (prefix.empty() ? "/" : prefix) + "', NULL);"
            "INSERT INTO container VALUES (1, NULL, 'Warm-up', 1, 1);"
            "INSERT INTO location_container VALUES (1, 1, 1);"
            "INSERT INTO asset VALUES (1, 1, 'a.mp3'), (2, 1, 'b.mp3');"
            "INSERT INTO container_asset VALUES (1, 2, 1, 1), (2, 1, 1, 2);";
        const int created = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(created, SQLITE_OK);

        const QByteArray savedHome = qgetenv("HOME");
        const bool hadHome = qEnvironmentVariableIsSet("HOME");
        qputenv("HOME", QByteArray::fromStdString(platform::toUtf8(home)));
        LoadedModel m;
        const bool loaded = m.load(library);
        hadHome ? qputenv("HOME", savedHome) : qunsetenv("HOME");
        QVERIFY(loaded);
        CrateTreeModel tree(m.model->selection());
        QAbstractItemModelTester tester(&tree,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QModelIndex warmUp = find(tree, QStringLiteral("Warm-up"));
        QVERIFY(warmUp.isValid());
        const Crate* crate = tree.crate(warmUp);
        QVERIFY(!crate->crateFileURL && crate->source == Crate::Source::database);
        QCOMPARE(crate->tracks, (std::vector<std::string>{prefix + "/b.mp3", prefix + "/a.mp3"}));
        QCOMPARE(warmUp.data(CrateRole::trackCount).toLongLong(), 2);
        QCOMPARE(warmUp.data(Qt::CheckStateRole), Qt::Checked);
        QCOMPARE(m.model->selection().selectedCrates().size(), std::size_t{1});
        QVERIFY(tree.setData(warmUp, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(m.model->selection().selectedCrates().empty());
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
