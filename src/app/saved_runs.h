#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "engine/main_queue.h"
#include "restore/undo_runner.h"

namespace morrowdeck {

// The saved restore and apply runs of one library, newest first, for the main window's
// "Saved Restores" menu. Reading them parses every run's record, so refresh() reads in the
// background; a result superseded by a newer refresh (another library chosen meanwhile) is
// ignored.
//
// Threads: UI thread only; the read runs through the engine layer's background helper.
class SavedRuns final : public QObject {
    Q_OBJECT

  public:
    explicit SavedRuns(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);

    // Reads the runs of the _Serato_ folder `libraryRoot` again; none without a library.
    void refresh(std::optional<std::filesystem::path> libraryRoot);

    // The library the runs belong to, and its runs, newest first.
    const std::optional<std::filesystem::path>& library() const { return library_; }
    const std::vector<UndoRunner::Run>& runs() const { return runs_; }

    // A menu entry: "2026-12-08 05:35 — Restore — 412 files, 1.2 GB", then " (undone)".
    static QString entryText(const UndoRunner::Run& run);

  signals:
    // After each completed refresh that changed the library or its list.
    void runsChanged();

  private:
    std::shared_ptr<MainQueue> mainQueue_;
    std::optional<std::filesystem::path> library_;
    std::vector<UndoRunner::Run> runs_;
    std::uint64_t generation_ = 0;  // counts refreshes; only the latest result is used
};

}  // namespace morrowdeck
