#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_copier.h"
#include "engine/progress_reporter.h"
#include "restore/undo_journal.h"

namespace morrowdeck {

// The one way a restore writes into a Serato library and over files at its audio target:
// an existing file that cannot be read is never replaced; what a write replaces is saved in
// the run's undo folder first; new content is written under a temporary name, synced and
// size-checked before it takes the real name; every write is recorded in the journal; a
// write that fails is a failed file with its own line.
//
// Threads: write(), readExisting() and createFolder() run on the engine's thread; the copier
// hooks run on its workers (each job's slot is touched by the one worker running it).
class LibraryWriter {
  public:
    using Bytes = std::vector<std::uint8_t>;
    using Kind = UndoJournal::Kind;

    LibraryWriter(UndoJournal& journal, ProgressReporter& reporter)
        : journal_(journal), reporter_(reporter) {}

    // Reads a file the run is about to replace, at most `maxBytes` of it (absent when it is
    // not there). False when it is there but cannot be read: it must be left as it is; a line
    // naming it says so and the step counts as a failed file.
    bool readExisting(const std::filesystem::path& file, std::uint64_t maxBytes,
                      std::optional<Bytes>& existing);

    // Creates or replaces `file` with `bytes`, following every rule above; `maxBytes` bounds
    // the read of an existing file (0: the caller read it through readExisting() just now).
    // 0 or errno (already logged and counted).
    int write(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
              std::uint64_t maxBytes, Kind kind = Kind::serato);
    int write(const std::filesystem::path& file, std::string_view text, std::uint64_t maxBytes,
              Kind kind = Kind::serato) {
        return write(file,
                     std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                     maxBytes, kind);
    }

    // Creates a folder (and missing parents), recorded for the undo. 0 or errno.
    int createFolder(const std::filesystem::path& folder) { return journal_.createFolder(folder); }

    // Hooks a copy run of `jobs` jobs into the undo folder: a file a copy replaces is moved
    // there first (a copy whose file cannot be moved fails and leaves it in place), and each
    // copy is hashed for the record. copyReported() is then called from the copier's report.
    // Changes Serato's SQLite database through `change` (which answers what went wrong, if
    // anything) after saving it through SQLite into the run's undo folder; a save that fails
    // refuses the change. Empty on success, else the reason.
    static std::string changeDatabase(UndoJournal& journal, const std::filesystem::path& database,
                                      const std::function<std::string()>& change);

    void prepareCopies(FileCopier::Options& options, std::size_t jobs);
    void copyReported(std::size_t index, const std::string& dest, FileCopier::Outcome outcome);

  private:
    UndoJournal& journal_;
    ProgressReporter& reporter_;
    std::vector<std::optional<ContentHash>> hashes_;  // per copy job
};

}  // namespace morrowdeck
