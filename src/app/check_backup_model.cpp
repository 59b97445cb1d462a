#include "app/check_backup_model.h"

#include "backup/backup_verifier.h"

namespace morrowdeck {

namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

CheckBackupModel::CheckBackupModel(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue)) {
    run_.setRunningStatus(QStringLiteral("Checking\u2026"));
    connect(&run_, &RunModel::progressChanged, this, [this] {
        const auto& snap = run_.progress();
        if (snap.totalBytes > 0)
            setFraction(static_cast<double>(snap.processedBytes) /
                        static_cast<double>(snap.totalBytes));
    });
}

CheckBackupModel::~CheckBackupModel() = default;

void CheckBackupModel::setFolderChooser(FolderChooser chooser) {
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
    if (const auto chosen = chooser_({QStringLiteral("Choose the backup folder to check"),
                                      QString(), FolderRequest::defaultStart(), false}))
        setBackupURL(*chosen);
}

void CheckBackupModel::start() {
    if (!backup_ || run_.isRunning()) return;
    if (!rows_.empty()) {
        rows_.clear();
        emit rowsChanged();
    }
    setFraction(0);
    run_.setStatusMessage(QStringLiteral("Checking…"));
    run_.start<BackupVerifier>(
        std::make_unique<BackupVerifier>(mainQueue_),
        [backup = *backup_](BackupVerifier& verifier, RunModel::Callbacks callbacks) {
            verifier.run(backup, std::nullopt, {}, std::move(callbacks.progress),
                         std::move(callbacks.completion));
        },
        [this](BackupVerifier& verifier, const RunResult& result) { finish(verifier, result); });
}

void CheckBackupModel::cancel() {
    run_.cancelRun();
}

void CheckBackupModel::finish(const BackupVerifier& verifier, const RunResult& result) {
    if (const auto* failure = std::get_if<RunFailure>(&result)) {
        run_.setStatusMessage(text(failure->description));
    } else if (std::get<ProgressSnapshot>(result).cancelled) {
        run_.setStatusMessage(QStringLiteral("Check cancelled."));
    } else {
        const auto& found = verifier.result();
        for (const auto& finding : found.findings)
            rows_.push_back({text(BackupVerifier::kindName(finding.kind)), text(finding.path),
                             text(finding.detail)});
        if (!rows_.empty()) emit rowsChanged();
        setFraction(1);
        run_.setStatusMessage(text(BackupVerifier::summaryLine(found)));
    }
}

void CheckBackupModel::setFraction(double fraction) {
    if (fraction == fraction_) return;
    fraction_ = fraction;
    emit fractionChanged();
}

}  // namespace morrowdeck
