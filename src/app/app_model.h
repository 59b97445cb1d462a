#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/folder_request.h"
#include "app/library_discovery.h"
#include "app/library_model.h"
#include "app/notice_source.h"
#include "app/plan_model.h"
#include "app/reveal_action.h"
#include "app/run_model.h"
#include "app/selection_model.h"
#include "engine/main_queue.h"

namespace morrowdeck {

// The main window's model, made of parts the views use directly: the library and its loading,
// the libraries found on drives, the ticked crates, the backup's plan, the backup run with its
// log and one-line status, and "Show in File Manager". What is left here is what joins them:
// when a backup can start, starting it, the status lines of loading a library, and the one
// problem the window shows in its message bar (from the parts' signals, cleared when fixed).
//
// Threads: UI thread only; see each part. Every change signal is emitted only when the value
// really changed.
class AppModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canStart READ canStart NOTIFY canStartChanged)

  public:
    // Asked before a backup that will not fit starts, with the refusal's text; true: start
    // anyway (the view shows a dialog with "Back Up Anyway" and Cancel).
    using Confirmer = std::function<bool(const QString& message)>;

    // `mainQueue` delivers background and engine results on this (the UI) thread.
    explicit AppModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    ~AppModel() override;

    LibraryModel& library() { return library_; }
    const LibraryModel& library() const { return library_; }
    LibraryDiscovery& discovery() { return discovery_; }
    SelectionModel& selection() { return selection_; }
    const SelectionModel& selection() const { return selection_; }
    PlanModel& plan() { return plan_; }
    const PlanModel& plan() const { return plan_; }
    RunModel& run() { return run_; }
    const RunModel& run() const { return run_; }
    RevealAction& reveal() { return reveal_; }

    // The library and destination choosers.
    void setFolderChooser(const FolderChooser& chooser);
    void setConfirmer(Confirmer confirmer);

    // No backup under way, a destination chosen (and not known to be missing) and at least
    // one crate ticked.
    bool canStart() const;
    // Starts a backup of the ticked crates when it can; one that will not fit only when the
    // confirmation says so, and then copying what fits.
    void start();

    // The _Serato_ folders of this computer and its drives: the home library (when there is
    // one) and each the latest search found.
    std::vector<std::filesystem::path> allLibraries() const;
    // Loads them all as one library.
    void loadAllLibraries();

    // The problem the window shows in its message bar, if any.
    NoticeSource& notices() { return notices_; }
    const std::optional<Notice>& notice() const { return notices_.notice(); }

  signals:
    void canStartChanged();

  private:
    void loaded(std::size_t trackReferences);
    void updateCanStart();
    void destinationMeasured();

    std::shared_ptr<MainQueue> mainQueue_;
    LibraryModel library_;
    LibraryDiscovery discovery_;
    SelectionModel selection_;
    PlanModel plan_;
    RunModel run_;
    RevealAction reveal_;
    NoticeSource notices_;
    Confirmer confirm_;
    bool canStart_ = false;  // last value signalled
};

}  // namespace morrowdeck
