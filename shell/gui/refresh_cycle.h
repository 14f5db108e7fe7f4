// The refresh period of a page model inside the window's faster view timer: a model's refresh
// returns the delay after which it wants to run again, and the view waits for it.
#pragma once

#include <QElapsedTimer>

namespace orv::gui {

class RefreshCycle {
  public:
    // True when the model has not run yet, was made due, or its delay has passed.
    bool due() const { return !armed_ || clock_.hasExpired(delayMs_); }
    void arm(int delayMs) {
        delayMs_ = delayMs > 0 ? delayMs : 0;  // a negative timeout would never expire
        armed_ = true;
        clock_.start();
    }
    // The next tick runs the model whatever its delay (a page shown, a pass finished).
    void makeDue() { armed_ = false; }

  private:
    QElapsedTimer clock_;
    qint64 delayMs_ = 0;
    bool armed_ = false;
};

}  // namespace orv::gui
