#include "app/views/desktop_notifier.h"

#include <QtGlobal>
#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif
#include <QVariantMap>

#include "engine/run_outcome.h"

namespace morrowdeck {

#ifndef Q_OS_WIN
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace
#endif

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
#ifndef Q_OS_WIN
    QDBusConnection::sessionBus().connect(service, path, interface, QStringLiteral("ActionInvoked"),
                                          this, SLOT(actionInvoked(uint, QString)));
#endif
}

bool DesktopNotifier::worthTelling(qint64 seconds, bool windowActive, bool failed) {
    return failed || (!windowActive && seconds > minimumSeconds);
}

#ifdef Q_OS_WIN
void DesktopNotifier::notify(const QString&, const QString&, bool) {}
#else
void DesktopNotifier::notify(const QString& summary, const QString& body, bool failed) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(failed ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("morrowdeck"));
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface,
                                                       QStringLiteral("Notify"));
    // "default" is the action of a click on the notification itself.
    call << QStringLiteral("Morrowdeck") << lastId_ << QStringLiteral("morrowdeck") << summary
         << body << QStringList{QStringLiteral("default"), QStringLiteral("Show Morrowdeck")}
         << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<uint> reply = *done;
        if (!reply.isError()) lastId_ = reply.value();
        done->deleteLater();
    });
}
#endif

void DesktopNotifier::notifyRunEnded(const QString& what, const ProgressSnapshot& final) {
    const RunOutcome outcome = RunOutcome::of(final);
    const QString summary = outcome.isCancelled() ? what + QStringLiteral(" cancelled")
                            : outcome.isSuccess() ? what + QStringLiteral(" complete")
                                                  : what + QStringLiteral(" finished with problems");
    QStringList counts;
    const auto add = [&](const char* label, std::int64_t count) {
        if (count > 0) counts << QStringLiteral("%1 %2").arg(QLatin1String(label)).arg(count);
    };
    add("Copied", final.copiedFiles);
    add("Linked", final.linkedFiles);
    add("Up to date", final.skippedFiles);
    add("Missing", final.missingFiles);
    add("Damaged", final.damagedFiles);
    add("Failed", final.failedFiles);
    notify(summary, counts.join(QStringLiteral(" \u2022 ")),
           !outcome.isSuccess() && !outcome.isCancelled());
}

void DesktopNotifier::actionInvoked(uint id, const QString& action) {
    if (id == lastId_ && lastId_ != 0 && action == QLatin1String("default")) emit activated();
}

}  // namespace morrowdeck
