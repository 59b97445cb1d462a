#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log_entry.h"
#include "restore/undo_index.h"

namespace morrowdeck {

// Puts a Serato library back as it was before one restore or apply, from the run's undo folder
// (`<seratoRoot>/.morrowdeck-undo/<id>/`, see UndoIndex). It checks first and acts second:
// plan() reads the run, the files it names and their saved copies and changes nothing; undo()
// plans again (the files may have changed while the user read the plan) and, only when the
// plan is not refused, puts every replaced file back, removes what the run created and marks
// the run undone. Only the paths an index names, and the run folder's saved copies, are ever
// touched; folders that hold no readable index are no run and are left alone.
//
// Threads: one object per call site; plan() and undo() block on file I/O (and on SQLite's lock
// wait for a database), so a window calls them off its main thread.
class UndoRunner {
  public:
    // One saved run, for a listing.
    struct Run {
        std::string id;
        UndoIndex::Kind kind = UndoIndex::Kind::restore;
        std::int64_t startedNs = 0;
        std::size_t files = 0;    // files the run created or replaced (folders not counted)
        std::int64_t bytes = 0;   // bytes its saved copies take (UndoIndex::savedBytes)
        bool finished = false;
        bool undone = false;
    };

    // What an undo will do to one file.
    struct Step {
        enum class Action {
            putBack,       // the saved copy replaces the file (or takes its place again)
            remove,        // a file the run created is removed
            removeFolder,  // a folder the run created is removed when empty
            keep,          // an audio file the run copied but that changed since: left alone
            nothing        // the file already is as it was before the run
        };
        Action action = Action::nothing;
        UndoIndex::Entry entry;
        bool changed = false;  // changed since the run: done only with force
    };

    struct Plan {
        std::string runId;              // empty when no run could be chosen
        std::filesystem::path runFolder;
        std::string refusal;            // non-empty: nothing will be done, and why (one line)
        std::vector<std::string> changed;  // files changed since the run (refused without force)
        std::vector<std::string> problems;  // why files cannot be put back (each refuses the run)
        std::vector<Step> steps;        // in the order undo() takes them
        bool seratoStateUnknown = false;  // the system did not say whether Serato runs

        bool refused() const { return !refusal.empty(); }
        // The lines a user confirms before an undo: what will be put back and removed.
        std::vector<std::string> confirmationLines() const;
    };

    struct Outcome {
        std::string runId;
        bool refused = false;  // nothing was changed; `message` says why
        std::int64_t putBack = 0;
        std::int64_t removed = 0;
        std::int64_t kept = 0;    // audio files left because they changed since the run
        std::int64_t failed = 0;  // files that could not be put back or removed
        std::vector<std::string> changed;  // a refusal's files changed since the run
        std::vector<LogEntry> lines;  // one per file acted on, problem or note
        std::string message;          // the end line
    };

    explicit UndoRunner(std::filesystem::path seratoRoot);

    // The /proc folder scanned for a running Serato (tests point it at a fake one).
    void setProcessTable(std::filesystem::path proc) { processTable_ = std::move(proc); }

    // The folder that holds the run folders.
    std::filesystem::path undoFolder() const;

    // The saved runs, oldest first.
    std::vector<Run> runs() const;

    // The plan for the run `runId`, or for the newest run not undone when it is empty.
    Plan plan(std::string_view runId, bool force) const;

    // Plans again and carries the plan out unless it is refused.
    Outcome undo(std::string_view runId, bool force) const;

  private:
    struct LoadedRun {
        std::filesystem::path folder;
        UndoIndex index;
    };
    std::vector<LoadedRun> loadRuns() const;
    void checkEntries(Plan& plan, const UndoIndex& index, bool force) const;
    bool act(const Step& step, const std::filesystem::path& runFolder, Outcome& outcome) const;

    std::filesystem::path seratoRoot_;
    std::filesystem::path processTable_ = "/proc";
};

}  // namespace morrowdeck
