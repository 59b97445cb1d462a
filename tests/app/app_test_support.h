#pragma once

#include <QObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "app/app_model.h"
#include "engine/drained_main_queue.h"

namespace morrowdeck::test {

// Points the application's settings at an empty folder of this process and empties them, so a
// test neither reads nor writes the user's, and starts without what an earlier test chose.
inline void isolateSettings() {
    static QTemporaryDir dir;
    for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::NativeFormat, scope, dir.path());
        QSettings::setPath(QSettings::IniFormat, scope, dir.path());
    }
    QSettings(QStringLiteral("Morrowdeck"), QStringLiteral("Morrowdeck")).clear();
}

// The demo library, made once per test process: returns its "_Serato_" folder.
inline std::filesystem::path demoLibrary() {
    static QTemporaryDir dir;
    static const bool made = [] {
        QProcess maker;
        maker.setStandardOutputFile(QProcess::nullDevice());
        maker.start(QStringLiteral(MORROWDECK_DEMO_LIBRARY), {dir.path()});
        return maker.waitForFinished(60'000) && maker.exitCode() == 0;
    }();
    if (!made) qFatal("the demo library could not be made");
    return std::filesystem::path(dir.path().toStdString()) / "_Serato_";
}

// A drained queue that counts the tasks it has run, so a test can wait for a given number of
// completions whatever order they arrive in.
class CountingQueue : public MainQueue {
  public:
    void post(std::function<void()> task) override {
        ++posted_;
        inner_.post([this, task = std::move(task)] {
            task();
            ++ran_;
        });
    }
    // Runs tasks while the condition holds; false when nothing arrives for 30 s.
    bool runWhile(const std::function<bool()>& condition) {
        while (condition())
            if (!inner_.waitAndRun(std::chrono::seconds(30))) return false;
        return true;
    }
    bool runUntil(int count) {
        return runWhile([&] { return ran_ < count; });
    }

    int posted() const { return posted_; }

  private:
    DrainedMainQueue inner_;
    std::atomic<int> posted_ = 0;
    int ran_ = 0;
};

// A counting queue whose gate can be closed: a thread that posts while it is closed waits
// until it opens, as a run's thread waits for a copy onto a slow or dead drive.
class GatedQueue : public CountingQueue {
  public:
    void post(std::function<void()> task) override {
        {
            std::unique_lock lock(mutex_);
            ++waiting_;
            arrived_.notify_all();
            opened_.wait(lock, [&] { return open_; });
            --waiting_;
        }
        CountingQueue::post(std::move(task));
    }
    void close() {
        const std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    // True once a thread waits at the gate; false when none does within 30 s.
    bool someoneWaits() {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return waiting_ > 0; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    std::condition_variable arrived_;
    bool open_ = true;
    int waiting_ = 0;
};

// Destroys `model` while its run waits at the closed gate of `queue`. True when the
// destruction returned with the gate still closed, that is without waiting for the run; a
// model that waits is let go after 30 s (so it fails instead of hanging) and gives false.
template <typename Model>
bool destroyedWithoutWaiting(GatedQueue& queue, std::unique_ptr<Model>& model) {
    if (!queue.someoneWaits()) return false;
    std::promise<void> destroyed;
    std::atomic<bool> gaveUp{false};
    std::thread opener([&queue, &gaveUp, done = destroyed.get_future()] {
        gaveUp = done.wait_for(std::chrono::seconds(30)) == std::future_status::timeout;
        queue.open();
    });
    model.reset();
    destroyed.set_value();
    opener.join();
    return !gaveUp;
}

// A model over a counting queue with the demo library loaded.
struct LoadedModel {
    std::shared_ptr<CountingQueue> queue = std::make_shared<CountingQueue>();
    std::unique_ptr<AppModel> model = std::make_unique<AppModel>(queue);
    bool load(const std::filesystem::path& library = demoLibrary()) {
        model->library().load(library);
        return queue->runWhile([&] { return model->library().isLoading(); });
    }
};

}  // namespace morrowdeck::test
