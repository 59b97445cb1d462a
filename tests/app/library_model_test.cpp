#include "app/library_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "app_test_support.h"
#include "library/crate_index.h"
#include "library/crate_writer.h"

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

    // Libraries loaded as one: a crate both have lists the tracks of each, with the library
    // each came from, and each library's own crates are there. One library (also named twice)
    // is that library alone.
    void librariesLoadAsOne() {
        QTemporaryDir dir;
        const fs::path root(dir.path().toStdString());
        const auto crate = [&](const char* drive, const char* name, const std::string& track) {
            const fs::path subcrates = root / drive / "_Serato_" / "Subcrates";
            fs::create_directories(subcrates);
            const auto bytes = CrateWriter::crateData({(root / drive / track).relative_path().string()});
            std::ofstream(subcrates / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        };
        crate("A", "House.crate", "a.mp3");
        crate("A", "Techno.crate", "t.mp3");
        crate("B", "House.crate", "b.mp3");
        const fs::path a = root / "A" / "_Serato_", b = root / "B" / "_Serato_";
        auto queue = std::make_shared<CountingQueue>();
        LibraryModel library(queue);
        std::shared_ptr<const CrateIndex> index;
        connect(&library, &LibraryModel::loaded, this,
                [&](std::shared_ptr<const CrateIndex> loaded, std::size_t) { index = loaded; });
        const auto load = [&](std::vector<fs::path> folders) {
            library.loadAll(std::move(folders));
            return queue->runWhile([&] { return library.isLoading(); });
        };

        QVERIFY(load({a, b, a}));
        QCOMPARE(library.libraryFolders(), (std::vector<fs::path>{a, b}));
        QVERIFY(library.spansLibraries());
        QCOMPARE(*library.libraryURL(), a);
        std::vector<std::string> names;
        for (const auto& top : index->forest())
            names.push_back(top->name);
        QCOMPARE(names, (std::vector<std::string>{"House", "Techno"}));
        const Crate& house = *index->forest().front();
        QCOMPARE(house.tracks.size(), std::size_t(2));
        QCOMPARE(library.trackMembers().at(&house), (std::vector<std::size_t>{0, 1}));

        QSignalSpy changed(&library, &LibraryModel::libraryURLChanged);
        QVERIFY(load({b, b}));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(library.libraryFolders(), std::vector<fs::path>{b});
        QVERIFY(!library.spansLibraries() && library.trackMembers().empty());
        QCOMPARE(index->forest().size(), std::size_t(1));
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
