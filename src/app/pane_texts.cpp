#include "app/pane_texts.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>

#include "backup/backup_engine.h"
#include "library/formatting.h"

namespace morrowdeck::paneText {

namespace {

QString bytes(std::int64_t count) {
    return QString::fromStdString(
        text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0))));
}

}  // namespace

int percentage(const ProgressSnapshot& snapshot) {
    if (snapshot.totalFiles < 1) return 0;
    return static_cast<int>(static_cast<double>(snapshot.completedFiles) * 100.0 /
                            static_cast<double>(snapshot.totalFiles));
}

double fraction(const ProgressSnapshot& snapshot) {
    if (snapshot.totalFiles < 1) return 0;
    return static_cast<double>(snapshot.completedFiles) / static_cast<double>(snapshot.totalFiles);
}

QString filesText(const ProgressSnapshot& snapshot) {
    return QStringLiteral("%1 / %2 files").arg(snapshot.completedFiles).arg(snapshot.totalFiles);
}

QString throughputText(const ProgressSnapshot& snapshot) {
    QString text = bytes(snapshot.processedBytes);
    if (snapshot.bytesPerSecond > 0)
        text += QStringLiteral(" • ") + bytes(static_cast<std::int64_t>(snapshot.bytesPerSecond)) +
                QStringLiteral("/s");
    return text;
}

std::optional<QString> timeLeftText(const ProgressSnapshot& snapshot) {
    // A run that has ended, finished or cancelled, has no time left.
    if (snapshot.finished || !(snapshot.bytesPerSecond > 1000)) return std::nullopt;
    const auto remaining = std::max<std::int64_t>(
        snapshot.bytesToCopy - snapshot.processedBytes - snapshot.skippedBytes, 0);
    const auto eta = text::formatDuration(static_cast<double>(remaining) / snapshot.bytesPerSecond);
    if (eta.empty()) return std::nullopt;
    return QString::fromStdString(eta) + QStringLiteral(" left");
}

QString finalStatus(const ProgressSnapshot& snapshot) {
    return QString::fromStdString(BackupEngine::summaryLine(snapshot));
}

QString loadedStatus(std::size_t leaves, std::size_t trackReferences) {
    return QStringLiteral("Loaded %1 crate(s), %2 track reference(s).")
        .arg(static_cast<qulonglong>(leaves))
        .arg(static_cast<qulonglong>(trackReferences));
}

QString selectedCratesText(std::size_t crates) {
    return QStringLiteral("%1 crate(s) selected").arg(static_cast<qulonglong>(crates));
}

QString byteCountText(std::int64_t bytes) {
    return QString::fromStdString(
        text::formatByteCount(static_cast<std::uint64_t>(std::max<std::int64_t>(bytes, 0))));
}

QString countText(std::int64_t count) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qlonglong>(count));
}

QString selectedTracksText(std::int64_t distinct, std::int64_t entries) {
    QString text = countText(distinct) + (distinct == 1 ? QStringLiteral(" track")
                                                        : QStringLiteral(" tracks"));
    if (entries != distinct) text += QStringLiteral(" in ") + countText(entries) +
                                     QStringLiteral(" crate entries");
    return text;
}

QString foundLibraryText(const FoundLibrary& found) {
    return QStringLiteral("%1 — %2 crate(s), %3 track(s)")
        .arg(QString::fromStdString(found.drive))
        .arg(found.crates)
        .arg(found.tracks);
}

std::vector<Chip> chips(const ProgressSnapshot& snapshot) {
    std::vector<Chip> result{
        {QStringLiteral("Copied"), snapshot.copiedFiles, Chip::Color::green},
        {QStringLiteral("Linked"), snapshot.linkedFiles, Chip::Color::blue},
        {QStringLiteral("Skipped"), snapshot.skippedFiles, Chip::Color::secondary},
    };
    if (snapshot.missingFiles >= 1)
        result.push_back({QStringLiteral("Missing"), snapshot.missingFiles, Chip::Color::orange});
    if (snapshot.failedFiles >= 1)
        result.push_back({QStringLiteral("Failed"), snapshot.failedFiles, Chip::Color::red});
    return result;
}

QString progressTitle(const ProgressSnapshot& snapshot) {
    return snapshot.phase.empty() ? QStringLiteral("Progress")
                                  : QString::fromStdString(snapshot.phase);
}

}  // namespace morrowdeck::paneText
