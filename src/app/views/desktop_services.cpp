#include "app/views/desktop_services.h"

#include <QtGlobal>
#ifdef Q_OS_WIN
#include <QProcess>
#else
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#endif
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck::DesktopServices {

namespace {

QUrl urlOf(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(platform::toUtf8(path)));
}

}  // namespace

#ifdef Q_OS_WIN
void showInFileManager(const std::filesystem::path& folder, std::function<void()> failed) {
    // Explorer shows the Documents folder instead of failing when the path does not exist.
    if (!platform::fileExists(folder)) {
        if (failed) failed();
        return;
    }
    // Explorer reads "/select," and the path as separate words; the path needs the native
    // separators or it opens the default folder instead.
    const QString native =
        QDir::toNativeSeparators(QString::fromStdString(platform::toUtf8(folder)));
    if (QProcess::startDetached(QStringLiteral("explorer.exe"), {QStringLiteral("/select,"), native}))
        return;
    if (!QDesktopServices::openUrl(urlOf(folder)) && failed) failed();
}
#else
void showInFileManager(const std::filesystem::path& folder, std::function<void()> failed) {
    const QUrl url = urlOf(folder);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (!QDesktopServices::openUrl(url) && failed) failed();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{url.toString()} << QString();
    // Asynchronous, so a slow or absent file manager never blocks the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [url, failed = std::move(failed)](QDBusPendingCallWatcher* finished) {
                         if (finished->isError() && !QDesktopServices::openUrl(url) && failed)
                             failed();
                         finished->deleteLater();
                     });
}
#endif

std::optional<std::filesystem::path> chooseFolder(QWidget* parent, const QString& title,
                                                  const std::filesystem::path& startIn,
                                                  bool canCreateFolders) {
    QString start = QString::fromStdString(platform::toUtf8(startIn));
    if (start.isEmpty()) {
        const QString music = QDir::home().filePath("Music");
        start = QDir(music).exists() ? music : QDir::homePath();
    }
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!canCreateFolders) options |= QFileDialog::ReadOnly;
    const QString chosen = QFileDialog::getExistingDirectory(parent, title, start, options);
    if (chosen.isEmpty()) return std::nullopt;
    return platform::toPath(chosen.toStdString());
}

}  // namespace morrowdeck::DesktopServices
