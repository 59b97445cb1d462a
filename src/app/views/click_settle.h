#pragma once

#include <QElapsedTimer>

namespace morrowdeck {

// When a run ends, its Cancel button turns back into Start in the same place: a click meant
// for Cancel that lands just after the end must not start a second run. The Start button asks
// settled() before it acts, and ignores clicks for a second after the end.
class ClickSettle {
  public:
    static constexpr qint64 settleMs = 1000;

    void runEnded() { ended_.start(); }
    bool settled() const { return !ended_.isValid() || ended_.elapsed() >= settleMs; }

  private:
    QElapsedTimer ended_;
};

}  // namespace morrowdeck
