#include "app/check_backup_model.h"

#include <QDir>

#include "backup/backup_verifier.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

// What to do about the findings. A missing file is copied again by the next backup into the
// folder. A damaged one is too when its size differs, but the backup takes a file of the right
// size and date as up to date, so the damaged copy has to go first. "" when nothing to do.
QString advice(const BackupVerifier::Result& result) {
    bool damaged = false, missing = false;
    for (const auto& finding : result.findings) {
        damaged |= finding.kind == BackupVerifier::Finding::Kind::damaged;
        missing |= finding.kind == BackupVerifier::Finding::Kind::missing;
    }
    if (damaged)
        return QStringLiteral("Delete the damaged files from the backup, then back up again to "
                              "repair.");
    if (missing) return QStringLiteral("Back up again to repair.");
    return QString();
}

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
    return backup_ ? text(platform::toUtf8(*backup_)) : QString();
}

void CheckBackupModel::setBackupURL(std::optional<std::filesystem::path> url) {
    if (url == backup_) return;
    backup_ = std::move(url);
    emit backupPathChanged();
}

void CheckBackupModel::setBackupFolder(const std::optional<std::filesystem::path>& folder) {
    if (userChose_ || run_.isRunning() || !folder) return;
    setBackupURL(folder);
}

void CheckBackupModel::enterBackupPath(const QString& text) {
    QString typed = text.trimmed();
    if (typed.isEmpty() || typed == backupPath()) {
        setPathProblem(QString());
        return;
    }
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/")))
        typed.replace(0, 1, QDir::homePath());
    const std::filesystem::path folder = platform::toPath(typed.toStdString());
    if (!folder.is_absolute()) {
        setPathProblem(QStringLiteral("Type the whole path, starting with / or ~/."));
    } else if (!platform::isDirectory(folder)) {
        setPathProblem(QStringLiteral("There is no folder at %1.").arg(typed));
    } else {
        setPathProblem(QString());
        userChose_ = true;
        setBackupURL(folder);
    }
}

void CheckBackupModel::chooseBackup() {
    if (!chooser_) return;
    if (const auto chosen = chooser_({QStringLiteral("Choose the backup folder to check"),
                                      QString(), FolderRequest::defaultStart(), false})) {
        setPathProblem(QString());
        userChose_ = true;
        setBackupURL(*chosen);
    }
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
        QString summary = text(BackupVerifier::summaryLine(found));
        if (const QString todo = advice(found); !todo.isEmpty()) summary += QLatin1Char(' ') + todo;
        run_.setStatusMessage(summary);
    }
}

void CheckBackupModel::setPathProblem(const QString& problem) {
    if (problem == pathProblem_) return;
    pathProblem_ = problem;
    emit pathProblemChanged();
}

void CheckBackupModel::setFraction(double fraction) {
    if (fraction == fraction_) return;
    fraction_ = fraction;
    emit fractionChanged();
}

}  // namespace morrowdeck
