#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/main_queue.h"

namespace morrowdeck {

class RunModel;

// Puts a Serato library back as it was before one saved restore or apply run: plans the undo,
// asks the user to confirm what it will put back, carries it out and reports the result into
// the restore window's run model (its status line and log). It also remembers the run the
// restore window's last restore or apply created, for "Undo Last Restore".
//
// Threads: UI thread only. Planning and undoing block on the library's files, so both run
// through the engine layer's background helper and only their results come back; those hold
// this model through a QPointer. One undo at a time: from the plan until its result is in,
// isUndoing() is true.
class UndoModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isUndoing READ isUndoing NOTIFY isUndoingChanged)

  public:
    // What the user is asked before an undo.
    struct Prompt {
        QString runId;
        QString refusal;      // not empty: nothing can be done, and why; only to acknowledge
        QStringList lines;    // what will be put back and removed (empty with a refusal)
        bool offersForce = false;  // refused only because files changed: "Undo Anyway" may
    };
    enum class Answer { cancel, undo, undoAnyway };
    using Confirmer = std::function<Answer(const Prompt&)>;

    // The run the last restore or apply of the window created.
    struct LastRun {
        std::filesystem::path chosenFolder;  // the Serato folder as chosen in the window
        std::filesystem::path libraryRoot;   // the _Serato_ folder that holds the run
        std::string id;
    };

    // Results arrive through `mainQueue`; they are reported into `report`, which outlives this.
    UndoModel(std::shared_ptr<MainQueue> mainQueue, RunModel& report, QObject* parent = nullptr);

    // Without a confirmer every undo is cancelled after its plan.
    void setConfirmer(Confirmer confirmer);
    // The /proc folder scanned for a running Serato (tests point it at a fake one).
    void setProcessTable(std::filesystem::path proc);

    bool isUndoing() const { return undoing_; }
    const std::optional<LastRun>& lastRun() const { return lastRun_; }

    // The _Serato_ folder a restore into `chosen` writes (it may be the folder itself or hold
    // one). Looks at the file system.
    static std::filesystem::path libraryRoot(const std::filesystem::path& chosen);
    // Nanoseconds since 1970, now: the moment a restore or apply starts, for noteRunSince().
    static std::int64_t nowNs();

    // After a restore or apply into `chosenFolder` that started at `sinceNs` has ended: looks
    // in the background for the run folder it created, which becomes lastRun(). A run that
    // created none leaves lastRun() as it was.
    void noteRunSince(std::filesystem::path chosenFolder, std::int64_t sinceNs);

    // Plans the undo of run `runId` of the library at `libraryRoot`, asks the confirmer and,
    // when confirmed, undoes it. False (nothing done) while another undo is under way.
    bool undo(std::filesystem::path libraryRoot, std::string runId);

  signals:
    void isUndoingChanged();
    // A confirmed undo begins to change the library; its result follows.
    void undoStarted();
    void lastRunChanged();
    // A run was added or undone: lists of saved runs may be out of date.
    void savedRunsChanged();

  private:
    void setUndoing(bool undoing);
    void confirm(const std::filesystem::path& root, const Prompt& prompt);
    void carryOut(std::filesystem::path root, std::string runId, bool force);

    std::shared_ptr<MainQueue> mainQueue_;
    RunModel& report_;
    Confirmer confirmer_;
    std::filesystem::path processTable_ = "/proc";
    bool undoing_ = false;
    std::optional<LastRun> lastRun_;
};

}  // namespace morrowdeck
