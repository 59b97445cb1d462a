// BackupEngine: the safety copies of Serato's SQLite databases. Each is copied through
// SQLite's online backup from a read-only connection (so a running Serato is never written
// to and the copy is of one moment) into a hidden temporary file beside its destination,
// checked, and only then renamed over the previous copy: a failed copy leaves the previous
// one as it was. None of this fails a run: the crate files and the audio are what a restore
// needs first, and Serato holding its database busy is normal while it runs.
#include <nlohmann/json.hpp>
#include <system_error>

#include "backup/backup_engine.h"
#include "engine/backup_layout.h"
#include "engine/content_hash.h"
#include "library/serato_connections.h"
#include "library/serato_folder.h"
#include "library/sqlite_copy.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

using Level = LogEntry::Level;


std::string secondsText(std::chrono::milliseconds wait) {
    const auto tenths = wait.count() / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
           " s";
}

// The file name a connected database's copy gets: a hash of its URI (two URIs never share a
// name) and its own file name, reduced to letters, digits, '.', '-' and '_'.
std::string copyName(const std::string& uri, const std::filesystem::path& file) {
    ContentHasher hasher;
    hasher.update({reinterpret_cast<const std::uint8_t*>(uri.data()), uri.size()});
    std::string name = hasher.digest().hex().substr(0, 16) + "-";
    for (const char c : platform::toUtf8(file.filename()).substr(0, 64)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    return name;
}

}  // namespace

bool BackupEngine::saveDatabaseCopy(const std::filesystem::path& source,
                                    const std::filesystem::path& dest, const std::string& what) {
    if (const int error = platform::createDirectories(dest.parent_path()); error != 0) {
        reporter_.log(Level::warning,
                      "Couldn't copy " + what + " (" + platform::toUtf8(dest.parent_path()) + ": " +
                          platform::errorText(error) + "); the previous copy is kept.");
        return false;
    }
    const auto temporary = platform::temporaryNameBeside(dest);
    SqliteCopyOptions options;
    options.readOnlySource = true;
    options.busyTimeout = databaseWait_;
    options.checkCopy = true;
    options.sameHeader = true;
    auto copied = copySqliteDatabase(source, temporary, options);
    // The temporary file's name means nothing to the reader of the log.
    if (const std::string named = " (" + platform::toUtf8(temporary) + ")";
        copied.problem.ends_with(named))
        copied.problem.resize(copied.problem.size() - named.size());
    std::error_code renamed;
    if (copied.problem.empty()) std::filesystem::rename(temporary, dest, renamed);
    if (copied.problem.empty() && !renamed) return true;

    platform::removeFile(temporary);
    platform::removeFile(platform::toPath(platform::toUtf8(temporary) + "-journal"));
    if (copied.busy)
        reporter_.log(Level::warning, "Couldn't copy " + what +
                                          ": Serato is writing to it (still locked after " +
                                          secondsText(databaseWait_) +
                                          "). The backup goes on without it; the previous copy "
                                          "is kept.");
    else
        reporter_.log(
            Level::warning,
            "Couldn't copy " + what + " (" +
                (renamed ? platform::toUtf8(dest) + ": " + renamed.message() : copied.problem) +
                "); the previous copy is kept.");
    return false;
}

void BackupEngine::saveDatabaseCopies(const std::filesystem::path& root) {
    const auto master = SeratoFolder::masterDatabase();
    if (reporter_.isCancelled()) return;
    // Libraries of older Serato versions have none: said once, and not a problem of the run.
    if (!platform::itemExists(master)) {
        reporter_.log(Level::info, "No Serato database at " + platform::toUtf8(master) +
                                       ": crates and track data come from the crate files alone.");
        return;
    }
    const auto metadata = root / BackupLayout::metadataFolder;
    if (!saveDatabaseCopy(master, metadata / BackupLayout::seratoDatabaseCopyName,
                          "Serato's database " + platform::toUtf8(master)))
        return;
    reporter_.log(Level::info,
                  "Saved a copy of Serato's database " + platform::toUtf8(master) + ".");

    std::string problem;
    const auto uris = SeratoConnections::uris(master, problem);
    if (!problem.empty())
        reporter_.log(Level::warning,
                      "Couldn't read the drive databases Serato's database "
                      "names (" +
                          problem + ").");
    if (uris.empty()) return;

    // The index keeps the earlier runs' entries: a drive not connected today keeps its copy.
    const auto folder = metadata / BackupLayout::connectedDatabasesFolder;
    const auto indexFile = folder / BackupLayout::connectedDatabasesIndex;
    nlohmann::json index = nlohmann::json::object();
    std::vector<std::uint8_t> earlier;
    if (platform::readFileAtMost(indexFile, maxMetadataBytes, earlier) == 0)
        index = nlohmann::json::parse(earlier.begin(), earlier.end(), nullptr, false);
    if (!index.is_object()) index = nlohmann::json::object();
    std::size_t saved = 0;
    for (const auto& uri : uris) {
        if (reporter_.isCancelled()) return;
        const auto path = SeratoConnections::localPath(uri);
        if (!path) {
            reporter_.log(Level::warning, "Couldn't reach the database \"" + uri +
                                              "\" that Serato's database names: not a local "
                                              "file path, so it is not opened.");
            continue;
        }
        if (!platform::isRegularFile(*path)) {
            reporter_.log(Level::info, "Couldn't reach the database " + platform::toUtf8(*path) +
                                           " that Serato's database names (its drive may not "
                                           "be connected); its previous copy, if any, is kept.");
            continue;
        }
        const std::string name = copyName(uri, *path);
        if (!saveDatabaseCopy(*path, folder / platform::toPath(name),
                              "the database " + platform::toUtf8(*path)))
            continue;
        index[uri] = name;
        ++saved;
    }
    if (saved == 0) return;
    // A URI that is no valid UTF-8 is written with replacement characters, not refused.
    const std::string text =
        index.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (const int error = platform::writeFileAtomically(indexFile, text); error != 0)
        reporter_.log(Level::warning, "Couldn't write " + platform::toUtf8(indexFile) + ": " +
                                          platform::errorText(error) + ".");
    reporter_.log(Level::info, "Saved a copy of " + std::to_string(saved) +
                                   " drive database(s) that Serato's database names.");
}

}  // namespace morrowdeck
