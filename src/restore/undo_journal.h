#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "restore/undo_index.h"

namespace morrowdeck {

// One run's undo folder, `<seratoRoot>/.morrowdeck-undo/<id>/`: the copies of what the run
// replaces, taken before each change, and the record of every file and folder it creates or
// replaces (UndoIndex). Each change is appended to journal.jsonl as it happens; index.json is
// rewritten atomically at milestones and when the run ends (finish()), so a run killed
// halfway still names everything it changed.
//
// Threads: every member may be called from any thread (the copier's workers report audio
// files while the engine's thread writes Serato files); one mutex guards the record.
class UndoJournal {
  public:
    using Kind = UndoIndex::Entry::Kind;
    static constexpr std::size_t keptRuns = 10;
    // The sub-folder of a run folder holding the saved copies.
    static constexpr std::string_view savedFolder = "saved";

    // Begins a run: removes the oldest run folders so that the new one is the 10th (only
    // folders UndoIndex::read accepts; `note` hears how many and the space freed), then makes
    // the run folder and writes its first index. Null, with `error` saying why, when the folder
    // cannot be made; nothing is left behind then.
    static std::unique_ptr<UndoJournal> begin(const std::filesystem::path& seratoRoot,
                                              UndoIndex::Kind kind,
                                              const std::function<void(std::string)>& note,
                                              std::string& error);
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

    // Removes the run folder again, and the folders begin() made for it: for a run that
    // stops before its first change.
    void discard();

    // Saves a file before the run first changes it: a Serato or audio file is copied into the
    // run folder and flushed to the disk, the database through SQLite's online backup. Nothing
    // to do when the file is missing or already recorded. Empty on success, else why not.
    std::string save(const std::filesystem::path& file, Kind kind);
    // Records what the run left at `file` after writing it: "replaced" when it was saved
    // first, else "created".
    void wrote(const std::filesystem::path& file, Kind kind,
               const std::optional<ContentHash>& hash = std::nullopt);
    // Creates a folder and its missing parents; each folder made is recorded (outermost
    // first). 0 or errno.
    int createFolder(const std::filesystem::path& folder);

    // The copier's hook for an audio file a copy is about to replace: where it is moved to
    // (in the run folder; copied there when that is another volume).
    std::string keepAs(const std::string& dest);
    // A copy's outcome at `dest`: recorded as created or replaced when `copied`; otherwise
    // nothing changed there and a copy saved for it is dropped.
    void copied(const std::string& dest, bool copied, const std::optional<ContentHash>& hash);

    // Rewrites index.json. 0 or errno.
    // finish() marks the run as ended, drops the copies of files saved but left untouched,
    // writes the index, which then lists every change on its own, and removes the journal.
    int writeIndex();
    int finish();

  private:
    UndoJournal(std::filesystem::path folder, UndoIndex index);
    static void removeOldRuns(const std::filesystem::path& undoRoot,
                              const std::function<void(std::string)>& note);
    // Adds or replaces the entry for its path and appends its journal line (lock held).
    void record(UndoIndex::Entry entry);
    // A fresh name in the saved folder for a copy of `file` (lock held).
    std::string reserveSaved(const std::filesystem::path& file);
    int writeIndexLocked();

    struct Pending {
        std::string saved;
        UndoIndex::Content before;
    };

    const std::filesystem::path folder_;
    std::filesystem::path made_;  // the outermost folder begin() created
    std::mutex mutex_;
    UndoIndex index_;
    std::unordered_map<std::string, std::size_t> slot_;  // path -> entry
    std::unordered_map<std::string, Pending> pending_;   // audio dest -> where it was moved
    std::unordered_set<std::string> unwritten_;          // saved, not written since
    std::size_t nextSaved_ = 0;
};

}  // namespace morrowdeck
