#include "restore/undo_journal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unordered_set>
#include <vector>

#include "library/formatting.h"
#include "library/sqlite_copy.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

namespace fs = std::filesystem;
using Entry = UndoIndex::Entry;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Size and date of a regular file (absent when there is none), with its hash when asked.
std::optional<UndoIndex::Content> contentOf(const fs::path& file, bool hash) {
    const auto info = platform::fileInfo(file);
    if (!info) return std::nullopt;
    UndoIndex::Content content{info->size, info->mtime.time_since_epoch().count(), {}};
    if (ContentHash digest; hash && hashFile(file, digest) == 0) content.hash = digest;
    return content;
}

}  // namespace

UndoJournal::UndoJournal(fs::path folder, UndoIndex index)
    : folder_(std::move(folder)), index_(std::move(index)) {}

// A run that ends without finish() (a start check that failed after the record began) still
// leaves a complete, finished record of what it changed.
UndoJournal::~UndoJournal() {
    bool finished = false;
    {
        std::lock_guard lock(mutex_);
        finished = index_.finished;
    }
    if (!finished) finish();
}

std::unique_ptr<UndoJournal> UndoJournal::begin(const fs::path& seratoRoot, UndoIndex::Kind kind,
                                                const std::function<void(std::string)>& note,
                                                std::string& error) {
    const fs::path undoRoot = seratoRoot / UndoIndex::folderName;
    const auto failed = [&](const fs::path& what, int code) {
        error = "Couldn't make the undo folder " + platform::toUtf8(what) + ": " +
                platform::errorText(code) + ".";
        return nullptr;
    };
    if (platform::isDirectory(undoRoot)) removeOldRuns(undoRoot, note);
    // The outermost folder this run makes, removed again when the run cannot begin.
    fs::path made;
    for (const fs::path& at : {seratoRoot, undoRoot})
        if (made.empty() && !platform::itemExists(at)) made = at;

    UndoIndex index;
    index.kind = kind;
    index.startedNs = nowNs();
    const std::string id = UndoIndex::idFor(index.startedNs);
    index.id = id;
    for (int n = 2; platform::itemExists(undoRoot / platform::toPath(index.id)); ++n)
        index.id = id + "-" + std::to_string(n);
    const fs::path folder = undoRoot / platform::toPath(index.id);
    if (made.empty()) made = folder;
    std::unique_ptr<UndoJournal> journal(new UndoJournal(folder, std::move(index)));
    journal->made_ = made;
    int code = platform::createDirectories(folder / savedFolder);
    if (code == 0) code = journal->writeIndex();
    if (code != 0) {
        journal->discard();
        return failed(folder, code);
    }
    return journal;
}

void UndoJournal::discard() {
    std::lock_guard lock(mutex_);
    index_.finished = true;  // nothing more is written
    std::int64_t freed = 0;
    if (platform::isDirectory(made_)) platform::removeTree(made_, freed);
}

void UndoJournal::removeOldRuns(const fs::path& undoRoot,
                                const std::function<void(std::string)>& note) {
    std::vector<UndoIndex> runs;
    for (const auto& name :
         platform::listDirectory(undoRoot, platform::HiddenEntries::include)
             .value_or(std::vector<std::string>{}))
        if (auto run = UndoIndex::read(undoRoot / platform::toPath(name)); run && run->id == name)
            runs.push_back(std::move(*run));
    if (runs.size() < keptRuns) return;
    // Oldest first; the newest keptRuns - 1 stay beside the new run.
    std::sort(runs.begin(), runs.end(), [](const UndoIndex& a, const UndoIndex& b) {
        return a.startedNs != b.startedNs ? a.startedNs < b.startedNs : a.id < b.id;
    });
    std::size_t removed = 0;
    std::int64_t freed = 0;
    for (std::size_t i = 0; i + (keptRuns - 1) < runs.size(); ++i)
        if (platform::removeTree(undoRoot / platform::toPath(runs[i].id), freed) == 0) ++removed;
    if (removed > 0 && note)
        note("Removed " + std::to_string(removed) + " old undo record(s), " +
             text::formatByteCount(static_cast<std::uint64_t>(freed)) + " freed.");
}

std::string UndoJournal::reserveSaved(const fs::path& file) {
    std::string name = platform::toUtf8(file.filename());
    // Within the 255-byte limit of a name, with room for the number in front.
    if (name.size() > 200) name = platform::toUtf8(file.extension()).substr(0, 20);
    return std::string(savedFolder) + "/" + std::to_string(++nextSaved_) + "-" + name;
}

std::string UndoJournal::save(const fs::path& file, Kind kind) {
    std::unique_lock lock(mutex_);
    if (slot_.contains(platform::toUtf8(file)) || !platform::itemExists(file)) return {};
    const std::string saved = reserveSaved(file);
    lock.unlock();  // the copy runs outside the lock; the engine saves each file once

    Entry entry{file, kind, Entry::Action::replaced, saved, {}, {}};
    const fs::path copy = folder_ / platform::toPath(saved);
    if (kind == Kind::database) {
        // Described by its rows, as read from the copy: the live file's bytes alone miss
        // what its -wal holds.
        std::string problem = copySqliteDatabase(file, copy);
        if (problem.empty()) {
            entry.before = UndoIndex::databaseContent(copy);
            if (!entry.before) problem = "its saved copy could not be read back";
        }
        if (!problem.empty()) {
            std::int64_t freed = 0;
            platform::removeTree(copy, freed);
            return problem;
        }
        // The copy is complete and synced by SQLite; its folder entry must survive too.
        platform::syncFolder(copy.parent_path());
    } else {
        ContentHasher hasher;
        const platform::DataSink sink = [&](std::span<const std::uint8_t> data) {
            hasher.update(data);
        };
        const auto info = platform::fileInfo(file);
        if (const int error = platform::copyFileDurably(file, copy, &sink); error != 0)
            return platform::errorText(error);
        if (const int error = platform::syncFolder(copy.parent_path()); error != 0)
            return platform::errorText(error);
        entry.before = UndoIndex::Content{info ? info->size : 0,
                                          info ? info->mtime.time_since_epoch().count() : 0,
                                          hasher.digest()};
    }
    lock.lock();
    unwritten_.insert(platform::toUtf8(file));
    record(std::move(entry));
    return {};
}

void UndoJournal::wrote(const fs::path& file, Kind kind, const std::optional<ContentHash>& hash) {
    // Taken once the writer's connection has closed; a database by its rows, so that a later
    // checkpoint of its -wal is no change.
    auto after = kind == Kind::database ? UndoIndex::databaseContent(file)
                                        : contentOf(file, !hash && kind != Kind::folder);
    if (after && hash) after->hash = hash;
    std::lock_guard lock(mutex_);
    unwritten_.erase(platform::toUtf8(file));
    const auto found = slot_.find(platform::toUtf8(file));
    Entry entry = found != slot_.end() ? index_.entries[found->second]
                                       : Entry{file, kind, Entry::Action::created, {}, {}, {}};
    entry.after = after;
    record(std::move(entry));
}

int UndoJournal::createFolder(const fs::path& folder) {
    std::vector<fs::path> missing;  // innermost first
    for (fs::path at = folder; !at.empty() && !platform::itemExists(at); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    const int error = platform::createDirectories(folder);
    std::lock_guard lock(mutex_);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (platform::isDirectory(*it) && !slot_.contains(platform::toUtf8(*it)))
            record({*it, Kind::folder, Entry::Action::created, {}, {}, {}});
    return error;
}

std::string UndoJournal::keepAs(const std::string& dest) {
    const fs::path file = platform::toPath(dest);
    const auto before = contentOf(file, false);
    std::lock_guard lock(mutex_);
    Pending pending{reserveSaved(file), before.value_or(UndoIndex::Content{})};
    const std::string path = platform::toUtf8(folder_ / platform::toPath(pending.saved));
    pending_[dest] = std::move(pending);
    return path;
}

void UndoJournal::copied(const std::string& dest, bool copied,
                         const std::optional<ContentHash>& hash) {
    std::unique_lock lock(mutex_);
    std::optional<Pending> pending;
    if (const auto found = pending_.find(dest); found != pending_.end()) {
        pending = std::move(found->second);
        pending_.erase(found);
    }
    lock.unlock();
    const bool kept = pending && platform::itemExists(folder_ / platform::toPath(pending->saved));
    const fs::path file = platform::toPath(dest);
    if (!copied) {
        // Nothing changed at dest: a copy kept for it is not needed. A file that could not be
        // moved back is still recorded, so an undo puts it back.
        if (!kept) return;
        if (platform::itemExists(file)) {
            platform::removeFile(folder_ / platform::toPath(pending->saved));
            return;
        }
    }
    Entry entry{file, Kind::audio, Entry::Action::created, {}, {}, {}};
    if (kept) {
        entry.action = Entry::Action::replaced;
        entry.saved = pending->saved;
        entry.before = pending->before;
    }
    if (copied) {
        entry.after = contentOf(file, !hash);
        if (entry.after && hash) entry.after->hash = hash;
    }
    lock.lock();
    record(std::move(entry));
}

void UndoJournal::record(Entry entry) {
    // A failed append is caught up by the next index, which lists every entry.
    platform::appendToFile(folder_ / UndoIndex::journalFile, UndoIndex::journalLine(entry) + "\n");
    const auto [found, fresh] =
        slot_.try_emplace(platform::toUtf8(entry.path), index_.entries.size());
    if (fresh) index_.entries.push_back(std::move(entry));
    else index_.entries[found->second] = std::move(entry);
}

int UndoJournal::writeIndexLocked() {
    return platform::writeFileAtomically(folder_ / UndoIndex::indexFile, index_.toJson());
}

int UndoJournal::writeIndex() {
    std::lock_guard lock(mutex_);
    return writeIndexLocked();
}

int UndoJournal::finish() {
    std::lock_guard lock(mutex_);
    // A file saved up front that the run left untouched needs no putting back: its entry and
    // copy go. The journal goes first, as the index then names every change on its own.
    std::vector<std::string> unneeded;
    std::vector<Entry> entries;
    for (auto& entry : index_.entries) {
        const auto now = unwritten_.contains(platform::toUtf8(entry.path))
                             ? contentOf(entry.path, false)
                             : std::nullopt;
        if (now && entry.before && now->size == entry.before->size &&
            now->mtimeNs == entry.before->mtimeNs) {
            unneeded.push_back(entry.saved);
            continue;
        }
        entries.push_back(std::move(entry));
    }
    index_.entries = std::move(entries);
    slot_.clear();
    for (std::size_t i = 0; i < index_.entries.size(); ++i)
        slot_.emplace(platform::toUtf8(index_.entries[i].path), i);
    unwritten_.clear();
    index_.finished = true;
    const int error = writeIndexLocked();
    if (error != 0) return error;
    platform::removeFile(folder_ / UndoIndex::journalFile);
    for (const auto& saved : unneeded)
        platform::removeFile(folder_ / platform::toPath(saved));
    return 0;
}

}  // namespace morrowdeck
