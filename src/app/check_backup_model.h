#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/folder_request.h"
#include "app/run_model.h"
#include "engine/main_queue.h"
#include "engine/run_result.h"

namespace morrowdeck {

class BackupVerifier;

// The model behind the "Check Backup…" window: the chosen backup folder, the progress of the
// check and its findings (damaged, missing, unexpected files) with a summary line, which is
// the status of its run.
//
// Threads: UI thread only. The check runs on a BackupVerifier held by the run model, whose
// callbacks arrive through the main queue. Change signals fire only on change.
class CheckBackupModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString backupPath READ backupPath NOTIFY backupPathChanged)
    Q_PROPERTY(double fraction READ fraction NOTIFY fractionChanged)
    Q_PROPERTY(QString pathProblem READ pathProblem NOTIFY pathProblemChanged)

  public:
    struct Row {
        QString kind;  // "damaged", "missing", "unexpected", …
        QString path;
        QString detail;
    };

    explicit CheckBackupModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    ~CheckBackupModel() override;

    void setFolderChooser(FolderChooser chooser);

    QString backupPath() const;
    void setBackupURL(std::optional<std::filesystem::path> url);
    // The folder the window starts at: the last backup folder, given by the main window (its
    // destination, on opening and after each backup). A folder the user chose or typed here
    // is kept, and the folder of a check under way does not change.
    void setBackupFolder(const std::optional<std::filesystem::path>& folder);
    // A path typed into the window: "~/" stands for the home folder. An existing folder
    // becomes the backup folder; anything else leaves it as it was and sets pathProblem().
    // Blank text changes nothing.
    void enterBackupPath(const QString& text);
    // Why the last typed path was not taken ("" when it was, or nothing was typed since).
    QString pathProblem() const { return pathProblem_; }
    // The check under way or last made; its status is the summary line.
    RunModel& run() { return run_; }
    const RunModel& run() const { return run_; }
    double fraction() const { return fraction_; }  // of the bytes to read, 0…1
    const std::vector<Row>& rows() const { return rows_; }

    void chooseBackup();
    // Starts a check of the chosen folder unless one is under way.
    void start();
    void cancel();

  signals:
    void backupPathChanged();
    void pathProblemChanged();
    void fractionChanged();
    void rowsChanged();

  private:
    void finish(const BackupVerifier& verifier, const RunResult& result);
    void setFraction(double fraction);
    void setPathProblem(const QString& problem);

    std::shared_ptr<MainQueue> mainQueue_;
    FolderChooser chooser_;
    std::optional<std::filesystem::path> backup_;
    bool userChose_ = false;  // the folder was chosen or typed here, not given
    QString pathProblem_;
    RunModel run_{QString()};
    double fraction_ = 0;
    std::vector<Row> rows_;
};

}  // namespace morrowdeck
