// When a page drawn from a slow model re-reads it: the window's view timer ticks every few hundred
// ms, the model asks to be refreshed at its own period. The first call of a run, and the first
// after the page became shown, refresh at once.
#pragma once

#include <QElapsedTimer>

namespace orv::gui {

class RefreshCadence {
  public:
    bool due() const { return !clock_.isValid() || clock_.elapsed() >= periodMs_; }
    // The model was refreshed and wants to run again after periodMs.
    void refreshed(int periodMs) {
        periodMs_ = periodMs > 0 ? periodMs : 0;
        clock_.start();
    }
    // The next call refreshes whatever the period (page shown, run stopped).
    void expire() { clock_.invalidate(); }

  private:
    QElapsedTimer clock_;
    int periodMs_ = 0;
};

}  // namespace orv::gui
