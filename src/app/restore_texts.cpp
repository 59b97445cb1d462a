#include "app/restore_texts.h"

#include "platform/path_text.h"

namespace morrowdeck::restoreText {

namespace fs = std::filesystem;

QString locationTitle(const std::optional<fs::path>& folder, const QString& placeholder) {
    if (!folder) return placeholder;
    // "/music/" names the folder "music", like "/music"; "/" names itself.
    const fs::path trimmed = folder->has_filename() ? *folder : folder->parent_path();
    const auto name = platform::toUtf8(trimmed.filename());
    return QString::fromStdString(name.empty() ? platform::toUtf8(*folder) : name);
}

QString locationSubtitle(const std::optional<fs::path>& folder, const QString& placeholder) {
    return folder ? QString::fromStdString(platform::toUtf8(*folder)) : placeholder;
}

QString rebuildCaption(bool rebuildDatabase, bool mergesIntoExistingDatabase) {
    if (!rebuildDatabase)
        return QStringLiteral(
            "Leaves the database alone; you'll Read Tags in Serato after restoring.");
    if (mergesIntoExistingDatabase)
        return QStringLiteral(
            "Adds the restored tracks to this library's database so Serato opens with them — no "
            "manual Read Tags, and the library's other tracks stay.");
    return QStringLiteral(
        "Writes a fresh database so Serato opens with your full library — no manual Read Tags, "
        "and no old/corrupt database reused.");
}

QString countText(const ProgressSnapshot& snapshot) {
    return QStringLiteral("%1 / %2").arg(snapshot.completedFiles).arg(snapshot.totalFiles);
}

QString readyPrompt(bool hasBackup, bool hasAudioTarget, bool hasSerato, bool hasCrates) {
    if (!hasBackup) return QStringLiteral("Choose a Morrowdeck backup folder to restore from.");
    if (!hasCrates) return QStringLiteral("Check at least one crate to restore.");
    if (!hasAudioTarget) return QStringLiteral("Choose the folder to copy the music into.");
    if (!hasSerato) return QStringLiteral("Choose the Serato library to write.");
    return QStringLiteral("Ready to restore.");
}

}  // namespace morrowdeck::restoreText
