#include "app/qt_main_queue.h"

#include <QMetaObject>

namespace morrowdeck {

QtMainQueue::QtMainQueue() : receiver_(new QObject) {}

// The last reference may be dropped on a background thread (a finished background task holds
// one), so the receiver is deleted by its own thread's event loop.
QtMainQueue::~QtMainQueue() { receiver_->deleteLater(); }

void QtMainQueue::post(std::function<void()> task) {
    QMetaObject::invokeMethod(receiver_, std::move(task), Qt::QueuedConnection);
}

}  // namespace morrowdeck
