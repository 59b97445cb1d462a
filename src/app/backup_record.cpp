#include "app/backup_record.h"

#include <QCryptographicHash>
#include <QStringList>
#include <cstring>

#include "engine/run_outcome.h"

namespace morrowdeck {

namespace {

// The first eight bytes of a SHA-256 over the strings, each followed by a NUL (which no path
// or name holds), so that ["ab", "c"] and ["a", "bc"] differ. Stable across versions and
// platforms, unlike std::hash.
std::uint64_t hashStrings(const std::vector<std::string>& strings) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const auto& s : strings) {
        hash.addData(QByteArrayView(s.data(), qsizetype(s.size())));
        hash.addData(QByteArrayView("\0", 1));
    }
    const QByteArray digest = hash.result();
    std::uint64_t value = 0;
    std::memcpy(&value, digest.constData(), sizeof value);
    return value;
}

}  // namespace

BackupRecord BackupRecord::of(const std::filesystem::path& destination, const QDateTime& finished,
                              const ProgressSnapshot& snapshot,
                              const std::vector<Crate::Ptr>& crates) {
    BackupRecord record;
    record.destination = destination;
    record.finished = finished.toUTC();
    const RunOutcome outcome = RunOutcome::of(snapshot);
    record.outcome = outcome.isCancelled() ? Outcome::cancelled
                     : outcome.isSuccess() ? Outcome::complete
                                           : Outcome::problems;
    record.copiedFiles = snapshot.copiedFiles;
    record.upToDateFiles = snapshot.skippedFiles;
    record.failedFiles = snapshot.failedFiles;
    record.missingFiles = snapshot.missingFiles;
    for (const auto& crate : crates)
        record.crates[crateKey(*crate)] = trackListHash(*crate);
    return record;
}

std::uint64_t BackupRecord::crateKey(const Crate& crate) {
    return hashStrings(crate.components);
}

std::uint64_t BackupRecord::trackListHash(const Crate& crate) {
    return hashStrings(crate.tracks);
}

std::size_t BackupRecord::changedCrates(const std::vector<Crate::Ptr>& leaves) const {
    std::size_t changed = 0;
    for (const auto& leaf : leaves) {
        const auto saved = crates.find(crateKey(*leaf));
        if (saved != crates.end() && saved->second != trackListHash(*leaf)) ++changed;
    }
    return changed;
}

QString BackupRecord::cratesText() const {
    QStringList entries;
    entries.reserve(qsizetype(crates.size()));
    for (const auto& [key, value] : crates)
        entries << QStringLiteral("%1:%2").arg(key, 16, 16, QChar('0')).arg(value, 16, 16, QChar('0'));
    entries.sort();  // the same crates give the same text
    return entries.join(' ');
}

BackupRecord::Fingerprints BackupRecord::cratesFromText(const QString& text, std::size_t maxEntries) {
    Fingerprints crates;
    for (const QStringView entry : QStringView(text).split(' ', Qt::SkipEmptyParts)) {
        if (crates.size() >= maxEntries) break;
        if (entry.size() != 33 || entry[16] != ':') continue;
        bool keyOk = false, valueOk = false;
        const std::uint64_t key = entry.first(16).toULongLong(&keyOk, 16);
        const std::uint64_t value = entry.last(16).toULongLong(&valueOk, 16);
        if (keyOk && valueOk) crates[key] = value;
    }
    return crates;
}

QString BackupRecord::outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::complete: return QStringLiteral("complete");
    case Outcome::problems: return QStringLiteral("problems");
    case Outcome::cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

std::optional<BackupRecord::Outcome> BackupRecord::outcomeFromName(const QString& name) {
    for (const Outcome outcome : {Outcome::complete, Outcome::problems, Outcome::cancelled})
        if (name == outcomeName(outcome)) return outcome;
    return std::nullopt;
}

namespace recordText {

QString relativeTime(std::int64_t secondsAgo) {
    constexpr std::int64_t minute = 60, hour = 60 * minute, day = 24 * hour;
    const auto ago = [](std::int64_t count, const char* one, const char* many) {
        return count == 1 ? QString::fromLatin1(one)
                          : QStringLiteral("%1 %2 ago").arg(count).arg(QLatin1String(many));
    };
    if (secondsAgo < minute) return QStringLiteral("just now");
    if (secondsAgo < hour) return ago(secondsAgo / minute, "1 minute ago", "minutes");
    if (secondsAgo < day) return ago(secondsAgo / hour, "1 hour ago", "hours");
    if (secondsAgo < 2 * day) return QStringLiteral("yesterday");
    if (secondsAgo < 14 * day) return ago(secondsAgo / day, "", "days");
    if (secondsAgo < 60 * day) return ago(secondsAgo / (7 * day), "", "weeks");
    if (secondsAgo < 365 * day) return ago(secondsAgo / (30 * day), "", "months");
    return ago(secondsAgo / (365 * day), "1 year ago", "years");
}

QString lastBackup(const std::optional<BackupRecord>& record, const QDateTime& now,
                   std::optional<std::size_t> changed) {
    if (!record) return QStringLiteral("Never backed up");
    QString text = QStringLiteral("Last backup: ") + relativeTime(record->finished.secsTo(now));
    if (record->outcome == BackupRecord::Outcome::cancelled) {
        text += QStringLiteral(" (cancelled)");
    } else if (record->outcome == BackupRecord::Outcome::problems) {
        QStringList parts;
        if (record->failedFiles > 0) parts << QStringLiteral("%1 failed").arg(record->failedFiles);
        if (record->missingFiles > 0) parts << QStringLiteral("%1 missing").arg(record->missingFiles);
        if (parts.isEmpty()) parts << QStringLiteral("with issues");
        text += QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QStringLiteral(")");
    }
    if (changed) {
        text += *changed == 0   ? QStringLiteral(" — no crates changed since")
                : *changed == 1 ? QStringLiteral(" — 1 crate changed since")
                                : QStringLiteral(" — %1 crates changed since").arg(qulonglong(*changed));
    }
    return text;
}

}  // namespace recordText

}  // namespace morrowdeck
