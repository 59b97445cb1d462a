#include "app/undo_model.h"

#include <QPointer>
#include <algorithm>
#include <chrono>
#include <utility>

#include "app/run_model.h"
#include "engine/background_task.h"
#include "library/serato_folder.h"
#include "library/serato_library.h"
#include "restore/undo_runner.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

QStringList qtLines(const std::vector<std::string>& lines) {
    QStringList list;
    for (const auto& line : lines) list.push_back(QString::fromStdString(line));
    return list;
}

}  // namespace

UndoModel::UndoModel(std::shared_ptr<MainQueue> mainQueue, RunModel& report, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue)), report_(report) {}

void UndoModel::setConfirmer(Confirmer confirmer) {
    confirmer_ = std::move(confirmer);
}

void UndoModel::setProcessTable(fs::path proc) {
    processTable_ = std::move(proc);
}

fs::path UndoModel::libraryRoot(const fs::path& chosen) {
    // As a restore decides it: a chosen folder named "_Serato_" is the library itself.
    return SeratoLibrary::resolveLibrary(chosen).value_or(
        chosen.filename() == SeratoFolder::name ? chosen : chosen / SeratoFolder::name);
}

std::int64_t UndoModel::nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void UndoModel::noteRunSince(fs::path chosenFolder, std::int64_t sinceNs) {
    const QPointer<UndoModel> self(this);
    runInBackground<std::optional<LastRun>>(
        mainQueue_,
        [chosenFolder, sinceNs]() -> std::optional<LastRun> {
            const fs::path root = libraryRoot(chosenFolder);
            const auto runs = UndoRunner(root).runs();  // oldest first
            const auto newest = std::find_if(runs.rbegin(), runs.rend(), [&](const auto& run) {
                return run.startedNs >= sinceNs && !run.undone;
            });
            if (newest == runs.rend()) return std::nullopt;
            return LastRun{chosenFolder, root, newest->id};
        },
        [self](std::optional<LastRun> found) {
            if (!self || !found) return;
            self->lastRun_ = std::move(found);
            emit self->lastRunChanged();
            emit self->savedRunsChanged();
        });
}

bool UndoModel::undo(fs::path root, std::string runId) {
    if (undoing_) return false;
    setUndoing(true);
    const QPointer<UndoModel> self(this);
    runInBackground<Prompt>(
        mainQueue_,
        [root, runId, proc = processTable_] {
            UndoRunner runner(root);
            runner.setProcessTable(proc);
            const UndoRunner::Plan plan = runner.plan(runId, false);
            Prompt prompt{QString::fromStdString(runId), {}, {}, false};
            // A plan refused only because files changed since the run may still be forced;
            // its lines then name those files.
            prompt.offersForce = plan.refused() && plan.problems.empty() && !plan.changed.empty();
            if (plan.refused() && !prompt.offersForce)
                prompt.refusal = QString::fromStdString(plan.refusal);
            else
                prompt.lines = qtLines(plan.confirmationLines());
            return prompt;
        },
        [self, root](Prompt prompt) {
            if (self) self->confirm(root, prompt);
        },
        [runId](const std::string& why) {
            return Prompt{QString::fromStdString(runId),
                          QString::fromStdString("The undo could not be planned: " + why), {}, false};
        });
    return true;
}

void UndoModel::confirm(const fs::path& root, const Prompt& prompt) {
    const Answer answer = confirmer_ ? confirmer_(prompt) : Answer::cancel;
    const bool go = prompt.refusal.isEmpty() &&
                    (answer == Answer::undoAnyway || (answer == Answer::undo && !prompt.offersForce));
    if (!go) {
        setUndoing(false);
        return;
    }
    carryOut(root, prompt.runId.toStdString(), answer == Answer::undoAnyway);
}

void UndoModel::carryOut(fs::path root, std::string runId, bool force) {
    report_.setStatusMessage(QStringLiteral("Undoing run %1…").arg(QString::fromStdString(runId)));
    emit undoStarted();
    const QPointer<UndoModel> self(this);
    runInBackground<UndoRunner::Outcome>(
        mainQueue_,
        [root, runId, force, proc = processTable_] {
            UndoRunner runner(root);
            runner.setProcessTable(proc);
            return runner.undo(runId, force);
        },
        [self, root](UndoRunner::Outcome outcome) {
            if (!self) return;
            for (auto& line : outcome.lines) self->report_.appendLog(std::move(line));
            self->report_.setStatusMessage(QString::fromStdString(outcome.message));
            const bool done = !outcome.refused && outcome.failed == 0;
            if (done && self->lastRun_ && self->lastRun_->libraryRoot == root &&
                self->lastRun_->id == outcome.runId) {
                self->lastRun_.reset();
                emit self->lastRunChanged();
            }
            self->setUndoing(false);
            if (!outcome.refused) emit self->savedRunsChanged();
        },
        [runId](const std::string& why) {
            UndoRunner::Outcome failed;
            failed.runId = runId;
            failed.failed = 1;
            failed.message = "The undo of run " + runId + " failed: " + why;
            return failed;
        });
}

void UndoModel::setUndoing(bool undoing) {
    if (undoing == undoing_) return;
    undoing_ = undoing;
    emit isUndoingChanged();
}

}  // namespace morrowdeck
