#include "app/saved_runs.h"

#include <QDateTime>
#include <QPointer>
#include <algorithm>
#include <utility>

#include "engine/background_task.h"
#include "library/formatting.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

bool sameRuns(const std::vector<UndoRunner::Run>& a, const std::vector<UndoRunner::Run>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.id == y.id && x.kind == y.kind && x.files == y.files && x.bytes == y.bytes &&
               x.undone == y.undone && x.startedNs == y.startedNs;
    });
}

}  // namespace

SavedRuns::SavedRuns(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue)) {}

void SavedRuns::refresh(std::optional<fs::path> libraryRoot) {
    const QPointer<SavedRuns> self(this);
    const std::uint64_t generation = ++generation_;
    runInBackground<std::vector<UndoRunner::Run>>(
        mainQueue_,
        [libraryRoot] {
            auto runs = libraryRoot ? UndoRunner(*libraryRoot).runs()
                                    : std::vector<UndoRunner::Run>{};
            std::reverse(runs.begin(), runs.end());  // newest first
            return runs;
        },
        [self, generation, libraryRoot](std::vector<UndoRunner::Run> runs) {
            if (!self || generation != self->generation_) return;
            if (libraryRoot == self->library_ && sameRuns(runs, self->runs_)) return;
            self->library_ = libraryRoot;
            self->runs_ = std::move(runs);
            emit self->runsChanged();
        });
}

QString SavedRuns::entryText(const UndoRunner::Run& run) {
    const QString date = QDateTime::fromMSecsSinceEpoch(run.startedNs / 1'000'000)
                             .toLocalTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString files = run.files == 1 ? QStringLiteral("1 file")
                                         : QStringLiteral("%1 files").arg(run.files);
    const QString size = QString::fromStdString(
        text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(run.bytes, 0))));
    return QStringLiteral("%1 — %2 — %3, %4%5")
        .arg(date, run.kind == UndoIndex::Kind::restore ? QStringLiteral("Restore")
                                                        : QStringLiteral("Apply"),
             files, size, run.undone ? QStringLiteral(" (undone)") : QString());
}

}  // namespace morrowdeck
