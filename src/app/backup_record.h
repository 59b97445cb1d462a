#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/progress_snapshot.h"
#include "library/crate.h"

namespace morrowdeck {

// What the application remembers of one finished backup run of a library onto a destination:
// when it ended, how, its counts, and a fingerprint of each crate it saved, so that "crates
// changed since" can be told while the destination's drive is unplugged.
//
// A fingerprint is a 64-bit hash of a crate's name path (the key) and one of its ordered track
// list (the value): a changed, added, removed or reordered track changes the crate's value.
struct BackupRecord {
    enum class Outcome { complete, problems, cancelled };
    using Fingerprints = std::unordered_map<std::uint64_t, std::uint64_t>;

    std::filesystem::path destination;
    QDateTime finished;  // UTC
    Outcome outcome = Outcome::complete;
    std::int64_t copiedFiles = 0;
    std::int64_t upToDateFiles = 0;
    std::int64_t failedFiles = 0;
    std::int64_t missingFiles = 0;
    Fingerprints crates;

    // The record of a finished run of `crates` (the crates it was started with).
    static BackupRecord of(const std::filesystem::path& destination, const QDateTime& finished,
                           const ProgressSnapshot& snapshot, const std::vector<Crate::Ptr>& crates);

    static std::uint64_t crateKey(const Crate& crate);
    static std::uint64_t trackListHash(const Crate& crate);

    // How many of `leaves` this run saved with another track list than they have now; crates
    // it did not save do not count.
    std::size_t changedCrates(const std::vector<Crate::Ptr>& leaves) const;

    // The fingerprints as text, "key:value" in hexadecimal separated by spaces, and back.
    // Reading skips malformed entries and stops at `maxEntries`.
    QString cratesText() const;
    static Fingerprints cratesFromText(const QString& text, std::size_t maxEntries);

    // Outcome names as stored; absent for an unknown name.
    static QString outcomeName(Outcome outcome);
    static std::optional<Outcome> outcomeFromName(const QString& name);
};

namespace recordText {

// "just now", "5 minutes ago", "yesterday", "2 days ago", "3 weeks ago", "4 months ago",
// "2 years ago", for the seconds between a moment and now (a moment in the future is "just
// now", as after the clock was set back).
QString relativeTime(std::int64_t secondsAgo);

// "Never backed up", or "Last backup: 2 days ago — 3 crates changed since"; a run that did
// not complete says how it ended ("Last backup: yesterday (cancelled)"). `changed` is absent
// while the library's crates are not known.
QString lastBackup(const std::optional<BackupRecord>& record, const QDateTime& now,
                   std::optional<std::size_t> changed);

}  // namespace recordText

}  // namespace morrowdeck
