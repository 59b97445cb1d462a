#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "engine/main_queue.h"

namespace morrowdeck {

// The main queue of the desktop application: post() turns each task into a queued call on
// the Qt event loop of the thread that created the queue (the UI thread). It never blocks
// and may be called from any thread; tasks run in posting order. Tasks still queued when the
// queue goes away are dropped.
class QtMainQueue final : public MainQueue {
  public:
    QtMainQueue();
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void post(std::function<void()> task) override;

  private:
    // Lives on the UI thread; the queued calls are delivered to it.
    QObject* receiver_;
};

}  // namespace morrowdeck
