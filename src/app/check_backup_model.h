#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/app_model.h"
#include "engine/main_queue.h"
#include "engine/run_result.h"

namespace morrowdeck {

class BackupVerifier;

// The model behind the "Check Backup…" window: the chosen backup folder, the progress of the
// check and its findings (damaged, missing, unexpected files) with a summary line.
//
// Threads: UI thread only. The check runs on a BackupVerifier whose callbacks arrive through
// the main queue and hold the model through a QPointer. Change signals fire only on change.
class CheckBackupModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString backupPath READ backupPath NOTIFY backupPathChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(double fraction READ fraction NOTIFY fractionChanged)
    Q_PROPERTY(QString summary READ summary NOTIFY summaryChanged)

  public:
    struct Row {
        QString kind;  // "damaged", "missing", "unexpected", …
        QString path;
        QString detail;
    };

    explicit CheckBackupModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    ~CheckBackupModel() override;

    void setFolderChooser(AppModel::FolderChooser chooser);

    QString backupPath() const;
    void setBackupURL(std::optional<std::filesystem::path> url);
    bool isRunning() const { return running_; }
    double fraction() const { return fraction_; }  // of the bytes to read, 0…1
    QString summary() const { return summary_; }
    const std::vector<Row>& rows() const { return rows_; }

    void chooseBackup();
    // Starts a check of the chosen folder unless one is under way.
    void start();
    void cancel();

  signals:
    void backupPathChanged();
    void isRunningChanged();
    void fractionChanged();
    void summaryChanged();
    void rowsChanged();

  private:
    void finish(const RunResult& result);
    void setRunning(bool running);
    void setFraction(double fraction);
    void setSummary(QString summary);

    std::shared_ptr<MainQueue> mainQueue_;
    AppModel::FolderChooser chooser_;
    std::optional<std::filesystem::path> backup_;
    std::unique_ptr<BackupVerifier> verifier_;
    bool running_ = false;
    double fraction_ = 0;
    QString summary_;
    std::vector<Row> rows_;
};

}  // namespace morrowdeck
