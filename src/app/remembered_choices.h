#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/backup_record.h"
#include "library/crate.h"

namespace morrowdeck {

class AppModel;
class AppSettings;

// Keeps the main window's choices in the user's settings and brings them back: the options at
// once; per library, when it is chosen, its destination, and when its crates have loaded
// (also on Reload) its unticked crates, so that crates new since are ticked; the last library
// for the next start. It also keeps the record of each finished backup run and says when the
// loaded library was last backed up onto the chosen destination and how many of its crates
// changed since.
//
// A remembered destination is restored even when its folder is missing (an unplugged drive):
// the window says it is not connected, and it stays remembered.
//
// Threads: UI thread only; nothing here touches a drive except initialLibrary().
class RememberedChoices final : public QObject {
    Q_OBJECT
  public:
    // Both outlive this.
    RememberedChoices(AppModel& model, AppSettings& settings, QObject* parent = nullptr);

    // The library used last, when its folder still exists.
    std::optional<std::filesystem::path> initialLibrary() const;

    // The last finished backup of the loaded library onto the chosen destination.
    const std::optional<BackupRecord>& lastBackup() const { return lastBackup_; }
    // How many of the loaded crates changed since that backup; absent while loading.
    std::optional<std::size_t> changedCrates() const { return changed_; }
    // "Never backed up" or "Last backup: 2 days ago — 3 crates changed since"; empty without
    // a library or a destination.
    QString lastBackupText(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

  signals:
    void lastBackupChanged();

  private:
    void libraryChosen();
    void cratesLoaded();
    void selectionChanged();
    void destinationChanged();
    void runningChanged();
    void refreshLastBackup();

    AppModel& model_;
    AppSettings& settings_;
    // A new forest arrives with every crate ticked; until its remembered ticks are applied,
    // that selection is not the user's and is not saved.
    bool ticksPending_ = false;
    // The run under way: what it backs up, captured when it starts.
    std::optional<std::filesystem::path> runLibrary_;
    std::optional<std::filesystem::path> runDestination_;
    std::vector<Crate::Ptr> runCrates_;
    std::optional<BackupRecord> lastBackup_;
    std::optional<std::size_t> changed_;
};

}  // namespace morrowdeck
