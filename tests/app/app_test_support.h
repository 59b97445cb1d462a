#pragma once

#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/app_model.h"
#include "engine/drained_main_queue.h"

namespace morrowdeck::test {

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

// A model over a counting queue with the demo library loaded.
struct LoadedModel {
    std::shared_ptr<CountingQueue> queue = std::make_shared<CountingQueue>();
    std::unique_ptr<AppModel> model = std::make_unique<AppModel>(queue);
    bool load(const std::filesystem::path& library = demoLibrary()) {
        model->load(library);
        return queue->runWhile([&] { return model->isLoading(); });
    }
};

}  // namespace morrowdeck::test
