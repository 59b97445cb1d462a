#include "app/plan_model.h"

#include <QSignalSpy>
#include <QtTest>

#include "app/library_model.h"
#include "app/selection_model.h"
#include "app_test_support.h"

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
};

}  // namespace morrowdeck::test

QTEST_GUILESS_MAIN(morrowdeck::test::PlanModelTest)

#include "plan_model_test.moc"
