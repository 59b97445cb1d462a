// Desktop notifications at the end of a run, against a stand-in notification service on a
// private session bus (the test runs under dbus-run-session).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>

#include "app/views/desktop_notifier.h"

namespace morrowdeck {

// What a desktop's notification daemon offers, reduced to what is checked here.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Shown {
        QString summary, body;
        QStringList actions;
        int urgency = 0;
    };
    QList<Shown> shown;

  public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int) {
        shown.append({summary, body, actions, hints.value("urgency").toInt()});
        return uint(shown.size());
    }
};

class NotifierTest : public QObject {
    Q_OBJECT

  private slots:
    void whenToTell() {
        struct Row { qint64 seconds; bool active; bool failed; bool tell; };
        const Row rows[] = {
            {31, false, false, true},   // long, and the user looks elsewhere
            {31, true, false, false},   // the user is watching
            {10, false, false, false},  // too short to have turned away
            {2, true, true, true},      // failures always
        };
        for (const Row& row : rows)
            QCOMPARE(DesktopNotifier::worthTelling(row.seconds, row.active, row.failed), row.tell);
    }

    void tellsTheServiceAndHearsTheClick() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) QSKIP("no session bus: run under dbus-run-session");
        FakeNotifications service;
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &service,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService("org.freedesktop.Notifications"));

        DesktopNotifier notifier;
        ProgressSnapshot final;
        final.finished = true;
        final.copiedFiles = 12;
        final.skippedFiles = 40;
        final.failedFiles = 1;
        notifier.notifyRunEnded("Backup", final);
        QTRY_COMPARE(service.shown.size(), 1);
        QCOMPARE(service.shown[0].summary, "Backup finished with problems");
        QCOMPARE(service.shown[0].body, "Copied 12 \u2022 Up to date 40 \u2022 Failed 1");
        QCOMPARE(service.shown[0].urgency, 2);
        QVERIFY(service.shown[0].actions.contains("default"));

        // A click on the notification (its "default" action) asks for the window.
        QSignalSpy activated(&notifier, &DesktopNotifier::activated);
        QTest::qWait(100);  // the reply with the notification's id arrives
        QDBusMessage click = QDBusMessage::createSignal(
            "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
        click << uint(1) << QString("default");
        QVERIFY(bus.send(click));
        QTRY_COMPARE(activated.count(), 1);
    }
};

}  // namespace morrowdeck

QTEST_MAIN(morrowdeck::NotifierTest)
#include "notifier_test.moc"
