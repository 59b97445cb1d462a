#include "backup/manifest_recorder.h"

#include "platform/path_text.h"

namespace morrowdeck {

ManifestRecorder::ManifestRecorder(const std::filesystem::path& root,
                                   std::optional<BackupManifest> earlier,
                                   std::chrono::nanoseconds granularity, bool skippedAreUpToDate)
    : root_(platform::toUtf8(root / "")),
      granularity_(std::max(granularity, std::chrono::nanoseconds(1))),
      skippedAreUpToDate_(skippedAreUpToDate),
      manifest_(std::move(earlier).value_or(BackupManifest{})) {}

std::string ManifestRecorder::relPath(std::string_view folder, std::string_view name) const {
    // Every folder of a job lies below the root, whose path (with a final "/") it starts with.
    std::string path(folder.substr(std::min(folder.size(), root_.size())));
    if (!path.empty()) path += '/';
    return path.append(name);
}

bool ManifestRecorder::near(platform::FileTime a, platform::FileTime b) const {
    return (a > b ? a - b : b - a) < granularity_;
}

std::optional<BackupManifest::Entry> ManifestRecorder::entry(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto found = manifest_.entries.find(path);
    if (found == manifest_.entries.end()) return std::nullopt;
    return found->second;
}

bool ManifestRecorder::describes(const BackupManifest::Entry& entry,
                                 const std::string& path) const {
    const auto info = platform::fileInfo(platform::toPath(root_ + path));
    return info && info->size == entry.size && near(info->mtime, entry.mtime);
}

void ManifestRecorder::copied(const Job& job, const ContentHash& hash) {
    const std::string path = relPath(job.destFolder, job.destName);
    std::lock_guard lock(mutex_);
    manifest_.entries.insert_or_assign(path, BackupManifest::Entry{job.bytes, job.mtime, hash});
}

void ManifestRecorder::kept(const Job& job) {
    const std::string path = relPath(job.destFolder, job.destName);
    // An up-to-date copy has the source's size and date: a previous entry with them still
    // describes it, without looking at the file.
    if (const auto previous = entry(path)) {
        if (skippedAreUpToDate_ && previous->size == job.bytes && near(previous->mtime, job.mtime))
            return;
        if (describes(*previous, path)) return;
    }
    // No entry that fits: the file is read once to make one (outside the lock: other
    // workers go on meanwhile).
    const std::filesystem::path file = platform::toPath(root_ + path);
    const auto info = platform::fileInfo(file);
    ContentHash hash;
    const bool hashed = info && hashFile(file, hash) == 0;
    std::lock_guard lock(mutex_);
    if (hashed) {
        manifest_.entries.insert_or_assign(path,
                                           BackupManifest::Entry{info->size, info->mtime, hash});
    } else {
        manifest_.entries.erase(path);
    }
}

void ManifestRecorder::linked(const Job& job) {
    const std::string path = relPath(job.destFolder, job.destName);
    const std::string_view source = job.source;
    const std::size_t slash = source.rfind('/');
    const std::string store = relPath(source.substr(0, slash), source.substr(slash + 1));
    std::lock_guard lock(mutex_);
    if (const auto found = manifest_.entries.find(store); found != manifest_.entries.end()) {
        const auto entry = found->second;
        manifest_.entries.insert_or_assign(path, entry);
    } else {
        manifest_.entries.erase(path);
    }
}

void ManifestRecorder::unchanged(const Job& job) {
    const std::string path = relPath(job.destFolder, job.destName);
    const auto previous = entry(path);
    if (!previous || describes(*previous, path)) return;
    std::lock_guard lock(mutex_);
    manifest_.entries.erase(path);
}

std::string ManifestRecorder::encode() const {
    std::lock_guard lock(mutex_);
    return manifest_.encode();
}

}  // namespace morrowdeck
