#include "app/check_backup_model.h"

#include <QPointer>

#include "app/retired_engines.h"
#include "backup/backup_verifier.h"
#include "platform/file_system.h"
#include "platform/home_folder.h"

namespace morrowdeck {

namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

CheckBackupModel::CheckBackupModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue)) {}

// A check under way is cancelled and left to stop on a thread of its own; its callbacks then
// find the model gone.
CheckBackupModel::~CheckBackupModel() {
    retireEngine(std::move(verifier_));
}

void CheckBackupModel::setFolderChooser(AppModel::FolderChooser chooser) {
    chooser_ = std::move(chooser);
}

QString CheckBackupModel::backupPath() const {
    return backup_ ? text(backup_->native()) : QString();
}

void CheckBackupModel::setBackupURL(std::optional<std::filesystem::path> url) {
    if (url == backup_) return;
    backup_ = std::move(url);
    emit backupPathChanged();
}

void CheckBackupModel::chooseBackup() {
    if (!chooser_) return;
    const std::filesystem::path home = platform::homeFolder();
    const auto start = platform::isDirectory(home / "Music") ? home / "Music" : home;
    if (const auto chosen = chooser_({QStringLiteral("Choose the backup folder to check"),
                                      QString(), start, false}))
        setBackupURL(*chosen);
}

void CheckBackupModel::start() {
    if (!backup_ || running_) return;
    if (!rows_.empty()) {
        rows_.clear();
        emit rowsChanged();
    }
    setFraction(0);
    setSummary(QStringLiteral("Checking…"));
    setRunning(true);
    verifier_ = std::make_unique<BackupVerifier>(mainQueue_);
    const QPointer<CheckBackupModel> self(this);
    verifier_->run(
        *backup_, std::nullopt, {},
        [self](const ProgressSnapshot& snap) {
            if (self && snap.totalBytes > 0)
                self->setFraction(static_cast<double>(snap.processedBytes) /
                                  static_cast<double>(snap.totalBytes));
        },
        [self](const RunResult& result) {
            if (self) self->finish(result);
        });
}

void CheckBackupModel::cancel() {
    if (verifier_) verifier_->cancel();
}

void CheckBackupModel::finish(const RunResult& result) {
    if (const auto* failure = std::get_if<RunFailure>(&result)) {
        setSummary(text(failure->description));
    } else if (std::get<ProgressSnapshot>(result).cancelled) {
        setSummary(QStringLiteral("Check cancelled."));
    } else {
        const auto& found = verifier_->result();
        for (const auto& finding : found.findings)
            rows_.push_back({text(BackupVerifier::kindName(finding.kind)), text(finding.path),
                             text(finding.detail)});
        if (!rows_.empty()) emit rowsChanged();
        setFraction(1);
        setSummary(text(BackupVerifier::summaryLine(found)));
    }
    // The completion is posted last, so the work thread has ended and this joins at once.
    verifier_.reset();
    setRunning(false);
}

void CheckBackupModel::setRunning(bool running) {
    if (running == running_) return;
    running_ = running;
    emit isRunningChanged();
}

void CheckBackupModel::setFraction(double fraction) {
    if (fraction == fraction_) return;
    fraction_ = fraction;
    emit fractionChanged();
}

void CheckBackupModel::setSummary(QString summary) {
    if (summary == summary_) return;
    summary_ = std::move(summary);
    emit summaryChanged();
}

}  // namespace morrowdeck
