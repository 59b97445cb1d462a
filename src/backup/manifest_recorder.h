#pragma once

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "engine/backup_manifest.h"
#include "engine/file_copier.h"

namespace morrowdeck {

// Brings a backup's manifest up to date job by job as the copy phases report: it starts from
// the previous run's entries, so files this run does not touch keep theirs. The entry of a
// copied file is made from the hash taken while it was copied; an up-to-date file keeps its
// previous entry (a file without one, from a backup made before manifests, is hashed once);
// a hard link gets its store file's entry; a failed or cancelled job keeps the previous entry
// only while the file there is still the one it describes.
//
// Threads: every call may come from any copy worker; one mutex guards the manifest.
class ManifestRecorder {
  public:
    using Job = FileCopier::Job;

    ManifestRecorder(const std::filesystem::path& root, std::optional<BackupManifest> earlier,
                     std::chrono::nanoseconds granularity, bool skippedAreUpToDate);

    void copied(const Job& job, const ContentHash& hash);
    // A copy job whose destination was left as it was.
    void kept(const Job& job);
    // A link job that made or found the link to its store file.
    void linked(const Job& job);
    // A job that failed or never ran.
    void unchanged(const Job& job);

    // The manifest's text as it stands.
    std::string encode() const;

  private:
    std::string relPath(std::string_view folder, std::string_view name) const;
    bool near(platform::FileTime a, platform::FileTime b) const;
    // The path's entry as it stands: the previous run's until this run's job changes it.
    std::optional<BackupManifest::Entry> entry(const std::string& path) const;
    // True when the file at the path has the entry's size and date.
    bool describes(const BackupManifest::Entry& entry, const std::string& path) const;

    std::string root_;  // ends with "/"
    std::chrono::nanoseconds granularity_;
    bool skippedAreUpToDate_;
    mutable std::mutex mutex_;
    BackupManifest manifest_;  // starts as the previous run's
};

}  // namespace morrowdeck
