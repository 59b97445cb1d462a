#pragma once

#include <QDateTime>
#include <QRect>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/backup_record.h"
#include "backup/backup_options.h"

namespace morrowdeck {

// The choices the application remembers per user, as typed values over QSettings with every
// key in this file: the last library; per library its destination, its unticked crates and the
// last backup run onto each destination; the backup options; the main window's geometry.
//
// Whatever the file holds (an older version's, a hand-edited or a hostile one), a getter
// returns a well-formed value or nothing: wrong types read as absent, numbers are clamped to
// what the window offers, lists are capped, and paths are only ever absolute.
//
// Threads: UI thread only. Values are written through at once; QSettings saves them to disk.
class AppSettings {
  public:
    // The user's settings (organisation and application "Morrowdeck").
    AppSettings();
    // The settings of an ini file at `path`, for tests.
    explicit AppSettings(const QString& iniPath);
    ~AppSettings();
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    // Crate lists longer than this are cut when read, so a damaged file cannot make the
    // window hold or compare without bound.
    static constexpr qsizetype maxListEntries = 20'000;
    // Libraries remembered; the least recently used beyond this are forgotten.
    static constexpr int maxLibraries = 32;

    std::optional<std::filesystem::path> lastLibrary() const;
    void setLastLibrary(const std::filesystem::path& library);

    std::optional<std::filesystem::path> destination(const std::filesystem::path& library) const;
    void setDestination(const std::filesystem::path& library, const std::filesystem::path& destination);

    // The library's crates the user unticked, each as its components joined with "/"; absent
    // when none were ever saved for it.
    std::optional<QStringList> untickedCrates(const std::filesystem::path& library) const;
    void setUntickedCrates(const std::filesystem::path& library, const QStringList& crates);

    // The last finished backup of `library` onto `destination`.
    std::optional<BackupRecord> lastBackup(const std::filesystem::path& library,
                                           const std::filesystem::path& destination) const;
    void setLastBackup(const std::filesystem::path& library, const BackupRecord& record);

    // The options the window offers; others keep their defaults.
    BackupOptions backupOptions() const;
    void setBackupOptions(const BackupOptions& options);

    struct WindowGeometry {
        QRect normal;  // the window's frame when not maximised
        bool maximized = false;
    };
    std::optional<WindowGeometry> windowGeometry() const;
    void setWindowGeometry(const WindowGeometry& geometry);

    QSettings& raw() { return *settings_; }

  private:
    QString libraryGroup(const std::filesystem::path& library) const;
    // The library's group for writing: marks it used now and forgets the oldest beyond the cap.
    QString touchLibrary(const std::filesystem::path& library);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace morrowdeck
