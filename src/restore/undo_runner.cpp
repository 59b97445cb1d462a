#include "restore/undo_runner.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <system_error>

#include "engine/destination_lock.h"
#include "engine/serato_error.h"
#include "library/sqlite_copy.h"
#include "platform/file_lock.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/processes.h"
#include "restore/restore_texts.h"

namespace morrowdeck {

namespace {

namespace fs = std::filesystem;
using Entry = UndoIndex::Entry;
using Level = LogEntry::Level;
using Action = UndoRunner::Step::Action;

// Whether the file at `path` holds `content`: a regular file of its size and, when its hash is
// known, of its hash; without a hash (a file too large to hash), of its modification time. A
// database with a hash is compared by its rows alone, whatever its files look like.
bool holds(const fs::path& path, const UndoIndex::Content& content,
           Entry::Kind kind = Entry::Kind::serato) {
    if (kind == Entry::Kind::database && content.hash) {
        const auto now = UndoIndex::databaseContent(path);
        return now && now->hash == content.hash;
    }
    const auto info = platform::fileInfo(path);
    if (!info || info->size != content.size) return false;
    if (!content.hash) return info->mtime.time_since_epoch().count() == content.mtimeNs;
    ContentHash hash;
    return hashFile(path, hash) == 0 && hash == *content.hash;
}

// An entry names the file it acts on by an absolute path without "." or ".." steps, so that
// what the record names is exactly what is touched.
bool isPlainAbsolute(const fs::path& path) {
    if (!path.is_absolute() || !path.has_filename()) return false;
    for (const auto& part : path)
        if (part == "." || part == "..") return false;
    return true;
}

bool isUnder(const fs::path& path, const fs::path& folder) {
    const auto [end, _] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

// Why the saved copy cannot be put back, or empty when it holds what the run replaced.
std::string savedCopyProblem(const fs::path& runFolder, const Entry& entry) {
    if (entry.saved.empty() || !entry.before) return "the record names no saved copy of it";
    const auto resolvedFolder = platform::resolvedPath(runFolder);
    const auto resolved = platform::resolvedPath(runFolder / platform::toPath(entry.saved));
    if (!resolved) return "its saved copy is missing";
    // A symbolic link in the run folder must not lead the undo to a file elsewhere.
    if (!resolvedFolder || !isUnder(*resolved, *resolvedFolder) || *resolved == *resolvedFolder)
        return "its saved copy lies outside the undo folder";
    // A database's record describes the live file, whose bytes alone do not hold what its
    // -wal did: its copy is checked by SQLite instead.
    if (entry.kind == Entry::Kind::database) {
        if (const auto problem = checkSqliteDatabase(*resolved); !problem.empty())
            return "its saved copy is damaged (" + problem + ")";
        if (entry.before->hash && !holds(*resolved, *entry.before, entry.kind))
            return "its saved copy is damaged";
        return {};
    }
    if (!holds(*resolved, *entry.before)) return "its saved copy is damaged";
    return {};
}

// A folder a file can be written to or removed from: the folder itself, or when it is gone
// (a replaced file's folder removed since), the nearest folder that exists.
bool canWriteBeside(const fs::path& file, std::map<fs::path, bool>& known) {
    fs::path folder = file.parent_path();
    while (!platform::itemExists(folder) && folder.has_relative_path())
        folder = folder.parent_path();
    const auto [slot, fresh] = known.emplace(folder, false);
    if (fresh) slot->second = platform::isWritableDirectory(folder);
    return slot->second;
}

// Runs sort by start, then by id ("…Z" before "…Z-2" before "…Z-10").
bool runsBefore(const UndoIndex& a, const UndoIndex& b) {
    if (a.startedNs != b.startedNs) return a.startedNs < b.startedNs;
    if (a.id.size() != b.id.size()) return a.id.size() < b.id.size();
    return a.id < b.id;
}

std::string count(std::int64_t n, const char* what) {
    return std::to_string(n) + " " + what;
}

}  // namespace

UndoRunner::UndoRunner(fs::path seratoRoot) : seratoRoot_(std::move(seratoRoot)) {}

fs::path UndoRunner::undoFolder() const {
    return seratoRoot_ / UndoIndex::folderName;
}

std::vector<UndoRunner::LoadedRun> UndoRunner::loadRuns() const {
    std::vector<LoadedRun> loaded;
    const auto names = platform::listDirectory(undoFolder());
    if (!names) return loaded;
    for (const auto& name : *names) {
        const fs::path folder = undoFolder() / platform::toPath(name);
        std::error_code error;
        // A link is no run folder of this library, even when it leads to one.
        if (!fs::is_directory(fs::symlink_status(folder, error))) continue;
        auto index = UndoIndex::read(folder);
        if (!index || index->id != name) continue;
        loaded.push_back({folder, std::move(*index)});
    }
    std::sort(loaded.begin(), loaded.end(),
              [](const LoadedRun& a, const LoadedRun& b) { return runsBefore(a.index, b.index); });
    return loaded;
}

std::vector<UndoRunner::Run> UndoRunner::runs() const {
    std::vector<Run> list;
    for (const auto& [folder, index] : loadRuns()) {
        const auto files = std::count_if(index.entries.begin(), index.entries.end(),
                                         [](const Entry& e) { return e.kind != Entry::Kind::folder; });
        list.push_back({index.id, index.kind, index.startedNs, static_cast<std::size_t>(files),
                        index.savedBytes(), index.finished, index.undone});
    }
    return list;
}

UndoRunner::Plan UndoRunner::plan(std::string_view runId, bool force) const {
    Plan plan;
    // Serato rewrites its crates and database while it runs and on quitting, over what an
    // undo puts back.
    const auto serato = platform::seratoProcess(processTable_);
    if (serato == platform::SeratoProcess::running) {
        plan.refusal = SeratoError::seratoRunning().description();
        return plan;
    }
    plan.seratoStateUnknown = serato == platform::SeratoProcess::unknown;
    const auto loaded = loadRuns();
    auto chosen = loaded.end();
    if (runId.empty()) {
        const auto newest = std::find_if(loaded.rbegin(), loaded.rend(),
                                         [](const LoadedRun& run) { return !run.index.undone; });
        if (newest == loaded.rend()) {
            plan.refusal =
                loaded.empty()
                    ? "Nothing to undo: no saved run in " + platform::toUtf8(undoFolder()) + "."
                    : std::string("Nothing to undo: every saved run is undone already.");
            return plan;
        }
        chosen = std::prev(newest.base());
    } else {
        chosen = std::find_if(loaded.begin(), loaded.end(),
                              [&](const LoadedRun& run) { return run.index.id == runId; });
        if (chosen == loaded.end()) {
            plan.refusal = "No saved run " + std::string(runId) + " in " +
                           platform::toUtf8(undoFolder()) + ".";
            return plan;
        }
    }
    const UndoIndex& index = chosen->index;
    plan.runId = index.id;
    plan.runFolder = chosen->folder;
    if (index.undone) {
        plan.refusal = "Run " + index.id + " is undone already.";
        return plan;
    }
    for (const auto& entry : index.entries) {
        if (!isPlainAbsolute(entry.path)) {
            plan.refusal = "The undo record of run " + index.id + " is damaged: it names \"" +
                           platform::toUtf8(entry.path) + "\". Nothing was changed.";
            return plan;
        }
    }

    // A later run that is still in place wrote over what this one left: putting this run's
    // files back would throw the later run's work away, and undoing that later run afterwards
    // would bring back this run's files. The later run goes first.
    std::set<fs::path> touched;
    std::vector<fs::path> createdFolders;
    for (const auto& entry : index.entries) {
        touched.insert(entry.path);
        if (entry.kind == Entry::Kind::folder && entry.action == Entry::Action::created)
            createdFolders.push_back(entry.path);
    }
    for (auto later = std::next(chosen); later != loaded.end(); ++later) {
        if (later->index.undone) continue;
        for (const auto& entry : later->index.entries) {
            const bool inCreatedFolder =
                std::any_of(createdFolders.begin(), createdFolders.end(),
                            [&](const fs::path& folder) { return isUnder(entry.path, folder); });
            if (touched.contains(entry.path) || inCreatedFolder) {
                plan.refusal = "Undo run " + later->index.id + " first: it changed " +
                               platform::toUtf8(entry.path) + " after run " + index.id + ".";
                return plan;
            }
        }
    }
    checkEntries(plan, index, force);
    return plan;
}

// Decides each entry's step from what the file holds now. An entry without `after` is one
// whose write failed or whose run died before saying how it ended: the write is atomic, so the
// file holds either what it held before or all of what the run wrote.
// - Replaced, no `after`: equal to `before` means nothing to do; anything else is put back.
// - Created, no `after`: a Serato file there is the run's own write (nothing else writes under
//   its name in the moment between) and is removed; an audio file is kept, since a file that
//   cannot be shown to be the run's copy may be the DJ's only copy of a track.
// An audio file the run copied is removed only when unchanged since (its hash); a changed one
// is kept whatever the force. Any other file changed since the run is overwritten or removed
// only with force.
void UndoRunner::checkEntries(Plan& plan, const UndoIndex& index, bool force) const {
    std::vector<Step> folders;
    std::vector<std::string>& problems = plan.problems;
    std::map<fs::path, bool> writable;
    for (auto it = index.entries.rbegin(); it != index.entries.rend(); ++it) {
        const Entry& entry = *it;
        if (entry.kind == Entry::Kind::folder) {
            if (entry.action == Entry::Action::created)
                folders.push_back({Action::removeFolder, entry, false});
            continue;
        }
        Step step{Action::nothing, entry, false};
        if (entry.action == Entry::Action::replaced) {
            if (const auto problem = savedCopyProblem(plan.runFolder, entry); !problem.empty()) {
                problems.push_back(platform::toUtf8(entry.path) + ": " + problem + ".");
                continue;
            }
            if (holds(entry.path, *entry.before, entry.kind)) step.action = Action::nothing;
            else if (!entry.after || holds(entry.path, *entry.after, entry.kind))
                step.action = Action::putBack;
            else step = {Action::putBack, entry, true};
        } else if (platform::itemExists(entry.path)) {
            const bool unchanged = entry.after && holds(entry.path, *entry.after, entry.kind);
            if (unchanged || (!entry.after && entry.kind != Entry::Kind::audio))
                step.action = Action::remove;
            else if (entry.kind == Entry::Kind::audio) step.action = Action::keep;
            else step = {Action::remove, entry, true};
        }
        if (step.changed) plan.changed.push_back(platform::toUtf8(entry.path));
        if ((step.action == Action::putBack || step.action == Action::remove) &&
            !canWriteBeside(entry.path, writable))
            problems.push_back(platform::toUtf8(entry.path) + ": its folder is not writable.");
        plan.steps.push_back(std::move(step));
    }
    // Deepest first, so that a folder the run created inside another goes before it.
    std::stable_sort(folders.begin(), folders.end(), [](const Step& a, const Step& b) {
        return std::distance(a.entry.path.begin(), a.entry.path.end()) >
               std::distance(b.entry.path.begin(), b.entry.path.end());
    });
    plan.steps.insert(plan.steps.end(), folders.begin(), folders.end());
    if (!problems.empty()) {
        plan.refusal = "Run " + index.id + " cannot be undone: " + problems.front() +
                       (problems.size() > 1 ? " (and " + std::to_string(problems.size() - 1) +
                                                  " more)"
                                            : std::string()) +
                       " Nothing was changed.";
    } else if (!plan.changed.empty() && !force) {
        plan.refusal = count(static_cast<std::int64_t>(plan.changed.size()), "file(s)") +
                       " changed since run " + index.id +
                       "; they are not overwritten without force. Nothing was changed.";
    }
}

std::vector<std::string> UndoRunner::Plan::confirmationLines() const {
    std::int64_t putBack = 0, removed = 0, folders = 0;
    for (const auto& step : steps) {
        putBack += step.action == Action::putBack;
        removed += step.action == Action::remove;
        folders += step.action == Action::removeFolder;
    }
    std::vector<std::string> lines{"Undo run " + runId + ": put back " +
                                   count(putBack, "file(s)") + ", remove " +
                                   count(removed, "file(s)") + " and up to " +
                                   count(folders, "folder(s)") + " the run created."};
    for (const auto& step : steps) {
        if (step.changed)
            lines.push_back("Changed since the run, " +
                            std::string(step.action == Action::remove ? "removed" : "overwritten") +
                            ": " + platform::toUtf8(step.entry.path));
        else if (step.action == Action::keep)
            lines.push_back("Changed since the run, kept: " + platform::toUtf8(step.entry.path));
    }
    if (seratoStateUnknown) lines.emplace_back(RestoreTexts::seratoStateUnknown);
    return lines;
}

bool UndoRunner::act(const Step& step, const fs::path& runFolder, Outcome& outcome) const {
    const Entry& entry = step.entry;
    const fs::path& path = entry.path;
    const auto fail = [&](const std::string& why) {
        ++outcome.failed;
        outcome.lines.emplace_back(
            Level::error,
            "Could not " + std::string(step.action == Action::putBack ? "put back " : "remove ") +
                platform::toUtf8(path) + ": " + why + ".");
        return false;
    };
    switch (step.action) {
        case Action::nothing:
            return true;
        case Action::keep:
            ++outcome.kept;
            outcome.lines.emplace_back(
                Level::warning, "Kept " + platform::toUtf8(path) + ": it changed since the run.");
            return true;
        case Action::remove:
            if (const int error = platform::removeFile(path); error != 0 && error != ENOENT)
                return fail(platform::errorText(error));
            // A database's journal files left without it would be applied by SQLite to the
            // next database made under its name.
            if (entry.kind == Entry::Kind::database)
                for (const char* suffix : {"-wal", "-shm", "-journal"})
                    platform::removeFile(platform::toPath(platform::toUtf8(path) + suffix));
            ++outcome.removed;
            outcome.lines.emplace_back(Level::info, "Removed " + platform::toUtf8(path));
            return true;
        case Action::removeFolder: {
            std::error_code error;
            if (!fs::is_directory(fs::symlink_status(path, error))) return true;
            if (!fs::is_empty(path, error) || error) {
                outcome.lines.emplace_back(
                    Level::info, "Kept the folder " + platform::toUtf8(path) + ": not empty.");
                return true;
            }
            if (!fs::remove(path, error)) return fail(error.message());
            outcome.lines.emplace_back(Level::info, "Removed the folder " + platform::toUtf8(path));
            return true;
        }
        case Action::putBack:
            break;
    }
    const fs::path saved = runFolder / platform::toPath(entry.saved);
    if (const int error = platform::createDirectories(path.parent_path()); error != 0)
        return fail(platform::errorText(error));
    if (entry.kind == Entry::Kind::database) {
        // Through SQLite, under its locks and journal: a reader never sees half a database.
        if (const auto problem = copySqliteDatabase(saved, path); !problem.empty())
            return fail(problem);
    } else {
        std::error_code moved;
        // An audio file the run moved aside goes back by rename when on the same volume: no
        // data is copied and the name always holds one whole file.
        if (entry.kind == Entry::Kind::audio) fs::rename(saved, path, moved);
        if (entry.kind != Entry::Kind::audio || moved) {
            // Else a copy beside the file, checked against the record and flushed to the disk
            // before it takes the file's name.
            ContentHasher hasher;
            std::int64_t size = 0;
            const platform::DataSink sink = [&](std::span<const std::uint8_t> data) {
                hasher.update(data);
                size += static_cast<std::int64_t>(data.size());
            };
            const platform::CopyCheck check = [&]() -> int {
                if (size != entry.before->size ||
                    (entry.before->hash && hasher.digest() != *entry.before->hash))
                    return EIO;
                return platform::FileSystemSync(path.parent_path()).sync();
            };
            if (const int error = platform::copyFile(saved, path, true, {}, &sink, &check))
                return fail(platform::errorText(error));
        }
    }
    ++outcome.putBack;
    outcome.lines.emplace_back(Level::info, "Put back " + platform::toUtf8(path));
    return true;
}

UndoRunner::Outcome UndoRunner::undo(std::string_view runId, bool force) const {
    Outcome outcome;
    // The lock every restore holds on the library: no run writes into it during the undo, and
    // a run still writing is not undone under its feet. A file system without locks is undone
    // unlocked.
    platform::FileLock lock;
    if (lock.acquire(seratoRoot_ / DestinationLock::fileName) == EWOULDBLOCK) {
        outcome.refused = true;
        outcome.message =
            "Another Morrowdeck run is writing to " + platform::toUtf8(seratoRoot_) + ".";
        return outcome;
    }
    const Plan plan = this->plan(runId, force);
    outcome.runId = plan.runId;
    if (plan.refused()) {
        outcome.refused = true;
        outcome.changed = plan.changed;
        for (const auto& problem : plan.problems)
            outcome.lines.emplace_back(Level::error, problem);
        for (const auto& path : plan.changed)
            outcome.lines.emplace_back(Level::error, "Changed since the run: " + path);
        outcome.message = plan.refusal;
        return outcome;
    }
    if (plan.seratoStateUnknown)
        outcome.lines.emplace_back(Level::warning, std::string(RestoreTexts::seratoStateUnknown));
    // Once the checks passed, one file that fails does not stop the others.
    std::set<fs::path> folders;
    for (const auto& step : plan.steps) {
        if (act(step, plan.runFolder, outcome) && step.action != Action::nothing &&
            step.action != Action::keep)
            folders.insert(step.entry.path.parent_path());
    }
    // The renames and removals survive a power loss.
    for (const auto& folder : folders)
        if (platform::itemExists(folder)) (void)platform::syncFolder(folder);

    if (outcome.failed == 0) {
        // Marked only when complete, so a partial undo can be run again: what was put back
        // already equals its `before` and is then left alone.
        auto index = UndoIndex::read(plan.runFolder);
        if (!index) {
            ++outcome.failed;
            outcome.lines.emplace_back(Level::error, "The undo record of run " + plan.runId +
                                                         " could not be read again.");
        } else {
            index->undone = true;
            const fs::path file = plan.runFolder / UndoIndex::indexFile;
            if (const int error = platform::writeFileAtomically(file, index->toJson())) {
                ++outcome.failed;
                outcome.lines.emplace_back(Level::error, "Run " + plan.runId +
                                                             " could not be marked undone: " +
                                                             platform::errorText(error) + ".");
            }
        }
    }
    std::string counts = count(outcome.putBack, "file(s) put back") + ", " +
                         count(outcome.removed, "removed");
    if (outcome.kept > 0) counts += ", " + count(outcome.kept, "changed audio file(s) kept");
    outcome.message = outcome.failed == 0
                          ? "Undid run " + plan.runId + ": " + counts + "."
                          : "Run " + plan.runId + " was not fully undone: " +
                                count(outcome.failed, "file(s) failed") + "; " + counts + ".";
    return outcome;
}

}  // namespace morrowdeck
