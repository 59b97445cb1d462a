#include "app/plan_model.h"

#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "app/library_model.h"
#include "app/selection_model.h"
#include "app_test_support.h"
#include "library/crate_index.h"
#include "platform/path_text.h"

namespace morrowdeck::test {
namespace fs = std::filesystem;

class PlanModelTest : public QObject {
    Q_OBJECT

  private slots:
    // The free space is measured off the UI thread, after each change of destination; the
    // late answer for a folder no longer chosen is dropped.
    void freeSpaceIsMeasuredInTheBackground() {
        auto queue = std::make_shared<CountingQueue>();
        SelectionModel selection;
        LibraryModel library(queue);
        PlanModel plan(queue, selection, library);
        std::promise<void> release;
        plan.setFreeSpaceQuery(
            [released = release.get_future().share()](const fs::path& folder) {
                if (folder == "/slow") released.wait();
                return std::optional<std::int64_t>(folder == "/slow" ? 1000 : 5'200'000);
            });
        QSignalSpy changed(&plan, &PlanModel::destinationFreeChanged);
        plan.setDestinationURL(fs::path("/slow"));  // returns while the query waits
        QVERIFY(!plan.destinationFreeText());
        plan.setDestinationURL(fs::path("/fast"));
        QVERIFY(queue->runUntil(1));
        QCOMPARE(plan.destinationFreeText(), QStringLiteral("5.2 MB"));
        release.set_value();
        QVERIFY(queue->runUntil(2));
        QCOMPARE(plan.destinationFreeText(), QStringLiteral("5.2 MB"));
        QCOMPARE(changed.count(), 1);
        plan.setDestinationURL(std::nullopt);
        QVERIFY(!plan.destinationFreeText());
        QCOMPARE(changed.count(), 2);
    }

    // The plan counts the selection's distinct tracks and its crate entries, and the tracks
    // not found in every crate, ticked or not (a group: all below it). Source facts are
    // learnt once and kept until the library is read again; a plan superseded while it runs
    // is not used.
    void planCountsTracksAndReusesSourceFacts() {
        QTemporaryDir dir;
        const fs::path music(dir.path().toStdString());
        const auto track = [&](const char* name) {
            std::ofstream(music / name) << name;
            return platform::toUtf8(music / name);
        };
        const auto a = track("a.mp3");
        const auto b = track("b.mp3");
        const auto gone = platform::toUtf8(music / "gone.mp3");
        const auto crate = [](std::vector<std::string> path, std::vector<std::string> tracks,
                              std::vector<Crate::Ptr> children = {}) {
            auto made = std::make_shared<Crate>();
            made->id = Uuid::random();
            made->name = path.back();
            made->components = std::move(path);
            made->tracks = std::move(tracks);
            made->children = std::move(children);
            if (made->children.empty()) made->crateFileURL = "/library/x.crate";
            return Crate::Ptr(made);
        };
        const auto forest = [&] {
            return std::make_shared<CrateIndex>(std::vector<Crate::Ptr>{
                crate({"A"}, {a, b, gone}), crate({"B"}, {a}),
                crate({"G"}, {}, {crate({"G", "C"}, {gone})})});
        };
        const auto named = [](SelectionModel& selection, const std::string& name) -> const Crate& {
            for (const auto& leaf : selection.allLeaves())
                if (leaf->name == name) return *leaf;
            for (const auto& root : selection.forest())
                if (root->name == name) return *root;
            qFatal("no crate %s", name.c_str());
        };

        auto queue = std::make_shared<CountingQueue>();
        SelectionModel selection;
        LibraryModel library(queue);
        PlanModel plan(queue, selection, library);
        const auto planned = [&] {
            return queue->runWhile([&] { return !plan.selectionPreview(); });
        };
        using Counts = PlanModel::TrackCounts;
        selection.setIndex(forest());
        QVERIFY(planned());
        QCOMPARE(plan.selectedTracks(), std::optional(Counts{3, 5}));
        QCOMPARE(plan.selectionPreview()->total().filesToCopy, 3);
        QCOMPARE(plan.selectionPreview()->total().problems.size(), 2u);
        QCOMPARE(plan.missingTracks(named(selection, "A")), 1);
        QCOMPARE(plan.missingTracks(named(selection, "B")), 0);
        QCOMPARE(plan.missingTracks(named(selection, "C")), 1);
        QCOMPARE(plan.missingTracks(named(selection, "G")), 1);

        // Two changes while a plan runs: the counts stay until the last state is planned.
        selection.toggle(named(selection, "G"));
        selection.toggle(named(selection, "B"));
        QVERIFY(!plan.selectionPreview());
        QCOMPARE(plan.selectedTracks(), std::optional(Counts{3, 5}));
        QVERIFY(planned());
        QCOMPARE(plan.selectedTracks(), std::optional(Counts{3, 3}));
        QCOMPARE(plan.missingTracks(named(selection, "C")), 1);  // not ticked, still known

        // A file gone since it was seen counts as there until the library is read again.
        fs::remove(b);
        selection.toggle(named(selection, "B"));
        QVERIFY(planned());
        QCOMPARE(plan.selectionPreview()->total().filesToCopy, 3);
        QCOMPARE(plan.missingTracks(named(selection, "A")), 1);
        QSignalSpy badges(&plan, &PlanModel::missingTracksChanged);
        selection.setIndex(forest());
        QVERIFY(badges.count() > 0);
        QCOMPARE(plan.missingTracks(named(selection, "A")), 0);  // unknown until planned
        QVERIFY(planned());
        QCOMPARE(plan.selectionPreview()->total().filesToCopy, 2);
        QCOMPARE(plan.missingTracks(named(selection, "A")), 2);

        selection.selectNone();  // known at once
        QCOMPARE(plan.selectedTracks(), std::optional(Counts{0, 0}));
    }
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::PlanModelTest)

#include "plan_model_test.moc"
