#pragma once

#include <QObject>
#include <QString>

#include "engine/progress_snapshot.h"

namespace morrowdeck {

// Tells the desktop that a run has ended, through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications): a run that took long enough for the user to
// turn away, ending while the window is not active, and every failed run. Clicking the
// notification emits activated(), so the window can come forward. Without a session bus or a
// notification service nothing is shown and nothing fails; Windows has neither, so there the
// notifier shows nothing.
//
// Threads: the UI thread only; D-Bus calls are asynchronous and never wait.
class DesktopNotifier final : public QObject {
    Q_OBJECT
  public:
    // Runs shorter than this that end while the user looks elsewhere are not announced.
    static constexpr qint64 minimumSeconds = 30;

    explicit DesktopNotifier(QObject* parent = nullptr);

    // Whether a run that ended so deserves a notification: failures always, other runs when
    // they took over minimumSeconds and the window is not the active one.
    static bool worthTelling(qint64 seconds, bool windowActive, bool failed);

    // Shows one notification (replacing this notifier's previous one).
    void notify(const QString& summary, const QString& body, bool failed);

    // The notification of a finished run of `what` ("Backup", "Restore") from its final
    // counts: "Backup complete" / "Backup finished with problems" / "Backup cancelled", and
    // the counts that are not zero ("Copied 12 • Up to date 40 • Failed 1").
    void notifyRunEnded(const QString& what, const ProgressSnapshot& final);

  signals:
    void activated();

  private slots:
    void actionInvoked(uint id, const QString& action);

  private:
    uint lastId_ = 0;
};

}  // namespace morrowdeck
