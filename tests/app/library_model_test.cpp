#include "app/library_model.h"

#include <QSignalSpy>
#include <QtTest>

#include "app_test_support.h"
#include "library/crate_index.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

class LibraryModelTest : public QObject {
    Q_OBJECT

  private slots:
    // Whichever order two loads complete in, what arrives is the later load's forest.
    void supersededLoadIsIgnored_data() {
        QTest::addColumn<bool>("demoLast");
        QTest::newRow("demo last") << true;
        QTest::newRow("empty last") << false;
    }
    void supersededLoadIsIgnored() {
        QFETCH(bool, demoLast);
        QTemporaryDir dir;
        const fs::path empty = fs::path(dir.path().toStdString()) / "_Serato_";
        fs::create_directories(empty);
        auto queue = std::make_shared<CountingQueue>();
        LibraryModel library(queue);
        std::vector<bool> forestEmpty;
        connect(&library, &LibraryModel::loaded, this,
                [&](std::shared_ptr<const CrateIndex> index, std::size_t) {
                    forestEmpty.push_back(index->forest().empty());
                });
        library.load(demoLast ? empty : demoLibrary());
        library.load(demoLast ? demoLibrary() : empty);
        QVERIFY(queue->runUntil(2));
        QCOMPARE(forestEmpty, std::vector<bool>{!demoLast});
        QCOMPARE(*library.libraryURL(), demoLast ? demoLibrary() : empty);
        QVERIFY(!library.isLoading());
    }

    // A load that completes after the model is gone finds it through a weak reference.
    void loadAfterModelGoneDoesNothing() {
        auto queue = std::make_shared<CountingQueue>();
        auto library = std::make_unique<LibraryModel>(queue);
        library->load(demoLibrary());
        library.reset();
        QVERIFY(queue->runUntil(1));
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::LibraryModelTest)

#include "library_model_test.moc"
