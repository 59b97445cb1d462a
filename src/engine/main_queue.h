#pragma once

#include <functional>

namespace morrowdeck {

// The thread that owns the user-visible state (the UI thread in the app, the main thread in
// the CLI, the test's own thread in tests). Engines post their callbacks here; tasks run on
// that thread in posting order. Implementations must be thread-safe for post().
class MainQueue {
  public:
    virtual ~MainQueue() = default;
    virtual void post(std::function<void()> task) = 0;
};

}  // namespace morrowdeck
