#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/backup_crates_model.h"
#include "app/folder_request.h"
#include "app/notice_source.h"
#include "app/run_model.h"
#include "app/undo_model.h"
#include "engine/main_queue.h"
#include "restore/apply_step.h"
#include "restore/member_targets.h"

namespace morrowdeck {

// The model behind the restore window: the three folders (backup, audio target, Serato
// library), the two options, the current or last restore run (its progress, log and status),
// and the separate apply step that writes the staged ratings and rules into Serato's
// database, and the undo of a saved restore or apply run (its result shows in the run's status
// and log). A restore, the apply step and an undo never run at the same time. The main window owns one for as long as it exists, so closing and reopening the
// restore window keeps its choices, log and status. Nothing is persisted.
//
// Threads: everything here runs on the UI thread and never waits for a drive. A run executes
// on a RestoreEngine held by the run model; the apply step runs through the engine layer's
// background helper and only its result comes back. Callbacks hold the model through a
// QPointer, so one arriving after the model is gone does nothing. Every change signal is
// emitted only when the value really changed.
class RestoreModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString backupPath READ backupPath NOTIFY backupURLChanged)
    Q_PROPERTY(QString audioTargetPath READ audioTargetPath NOTIFY audioTargetURLChanged)
    Q_PROPERTY(QString seratoPath READ seratoPath NOTIFY seratoURLChanged)
    Q_PROPERTY(bool overwrite READ overwrite WRITE setOverwrite NOTIFY overwriteChanged)
    Q_PROPERTY(bool rebuildDatabase READ rebuildDatabase WRITE setRebuildDatabase NOTIFY
                   rebuildDatabaseChanged)
    Q_PROPERTY(bool isApplying READ isApplying NOTIFY isApplyingChanged)
    Q_PROPERTY(QString applyResultText READ applyResultText NOTIFY applyResultChanged)
    Q_PROPERTY(bool canStart READ canStart NOTIFY canStartChanged)

  public:
    // The blocking apply step for a Serato folder; runs off the UI thread. Tests and the
    // screenshot driver replace it; the default is applyToSerato().
    using ApplyWork = std::function<ApplyOutcome(const std::filesystem::path& seratoFolder)>;

    // `mainQueue` delivers engine callbacks and the apply result on this (the UI) thread.
    explicit RestoreModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    // A run under way is left to the run model, which retires it without waiting.
    ~RestoreModel() override;

    void setFolderChooser(FolderChooser chooser);
    void setApplyWork(ApplyWork work);

    // Observed fields.
    const std::optional<std::filesystem::path>& backupURL() const;
    void setBackupURL(std::optional<std::filesystem::path> url);
    // The folder the window starts at: the last backup folder, given by the main window (its
    // destination, on opening and after each backup). A folder the user chose here is kept, and
    // so is the folder of a restore under way.
    void setBackupFolder(const std::optional<std::filesystem::path>& folder);
    const std::optional<std::filesystem::path>& audioTargetURL() const;
    void setAudioTargetURL(std::optional<std::filesystem::path> url);
    // Initially the home folder's "Music/_Serato_", whether or not it exists.
    const std::optional<std::filesystem::path>& seratoURL() const;
    void setSeratoURL(std::optional<std::filesystem::path> url);
    bool overwrite() const;
    void setOverwrite(bool overwrite);
    bool rebuildDatabase() const;
    void setRebuildDatabase(bool rebuild);
    // How the audio comes back: a folder per crate below the audio target, or as it was,
    // each library of the backup to its own drive at its tracks' own paths.
    enum class Layout { crates, asItWas };
    Layout layout() const;
    void setLayout(Layout layout);
    // The backup's libraries with where each goes back to as it was, in member order; read
    // in the background after each choice of backup or target folder. Empty until known, and
    // for a folder whose catalog says nothing of them.
    const std::vector<MemberTarget>& targets() const;
    // Asks for the folder library `member` (an index into targets()) goes back to.
    void chooseTarget(std::size_t member);
    // Sends library `name` of the backup back to `folder` (its _Serato_ in it).
    void setTargetFolder(const std::string& name, const std::filesystem::path& folder);

    // The crates of the chosen backup, read in the background after each choice of folder;
    // the checked ones are what a restore brings back.
    BackupCratesModel& crates();
    const BackupCratesModel& crates() const;
    // The current or last restore run: its progress, log and status, and its Cancel.
    RunModel& run();
    const RunModel& run() const;
    // The problem the restore window shows in its message bar: a restore that failed to start,
    // until the next one starts.
    NoticeSource& notices();
    bool isApplying() const;
    // The undo of saved runs, and the run the last restore or apply created.
    UndoModel& undo();
    const UndoModel& undo() const;
    // The apply step's message, then one line per smart crate whose rules were not written.
    // Cleared when a restore or an undo starts.
    const std::optional<QString>& applyResult() const;
    // What went wrong in the last restore or undo: its warning and error lines, each as the
    // command line prints it ("warning: Damaged in the backup: House/a.mp3 — …"), which names
    // every damaged, missing and failed file with its path. All of them: the run's log keeps
    // only the newest lines. Cleared when a restore or an undo starts.
    const QStringList& problemLines() const;

    // Paths as text ("" when none) and the apply result ("" when none), for properties.
    QString backupPath() const;
    QString audioTargetPath() const;
    QString seratoPath() const;
    QString applyResultText() const;

    // Derived values, computed on each read.
    // No run, apply step or undo under way, the backup chosen, a crate checked (when the
    // backup's crates are known), and where it goes: the audio and Serato folders, or as it
    // was a known target for every library.
    bool canStart() const;
    // No run, apply step or undo under way.
    bool canUndo() const;
    // The last restore or apply created a run folder in the Serato library chosen now.
    bool showsUndoLastRestore() const;
    // The chosen Serato library already holds a track database, so a rebuild merges the
    // restored tracks into it instead of writing a fresh one. Looked at in the background after
    // each change of the Serato folder and each run (which may have written one); false until
    // known. mergesIntoExistingDatabaseChanged() when it changes.
    bool mergesIntoExistingDatabase() const;

    // Operations.
    void chooseBackup();
    void chooseAudioTarget();
    void chooseSerato();
    // Starts a run when all three folders are chosen and neither a run nor the apply step is
    // under way.
    void start();
    // Runs the apply step in the background unless a run or the apply step is under way;
    // without a Serato folder it says so at once.
    void applyToSerato();
    // Plans, confirms and carries out the undo of the run the last restore or apply created,
    // unless a run, the apply step or an undo is under way.
    void undoLastRestore();
    // The same for run `runId` of the _Serato_ folder `libraryRoot`. False when refused.
    bool undoRun(std::filesystem::path libraryRoot, std::string runId);

  signals:
    void backupURLChanged();
    void audioTargetURLChanged();
    void seratoURLChanged();
    void overwriteChanged();
    void rebuildDatabaseChanged();
    void isApplyingChanged();
    void applyResultChanged();
    void canStartChanged();
    void mergesIntoExistingDatabaseChanged();
    void layoutChanged();
    void targetsChanged();
    // Lines were added to problemLines(), or it was cleared.
    void problemLinesChanged();

  private:
    std::optional<std::filesystem::path> chooseFolder(const FolderRequest& request) const;
    void setApplying(bool applying);
    void setApplyResult(std::optional<QString> result);
    void updateCanStart();
    // Notes the newest log line when it is a problem of the restore or undo under way.
    void noteLogLine();
    // Takes the finished run's end line off problemLines().
    void dropEndLine(const RunResult& result);
    // Before a restore or an undo: no problem, apply result or (for an undo) progress of an
    // earlier run stays on show.
    void clearProblems();
    // Looks at the Serato folder's database in the background; a result superseded by a newer
    // request is ignored.
    void refreshMerges();
    // Reads the backup folder's crates in the background; a result superseded by a newer
    // choice is ignored.
    void refreshCrates();
    // Resolves the backup's libraries to their targets in the background (the catalog and the
    // mounted drives are read there); a result superseded by a newer request is ignored.
    void refreshTargets();

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace morrowdeck
