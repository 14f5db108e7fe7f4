// The timer service on Qt timers: every callback runs on the GUI thread that owns the service.
// arm, kill and post may come from any thread; they are handed to the GUI thread in order.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/timer_service.h"

namespace orv::gui {

class QtTimerService final : public QObject, public TimerService {
  public:
    explicit QtTimerService(QObject* parent = nullptr) : QObject(parent) {}
    ~QtTimerService() override;

    void arm(TimerId id, std::chrono::milliseconds delay, std::function<void()> callback) override;
    void kill(TimerId id) override;
    void post(std::function<void()> work) override;

    // Timers armed and not yet fired or killed (GUI thread).
    bool armed(TimerId id) const;

  private:
    void runOnOwnThread(std::function<void()> work);
    void armHere(TimerId id, std::chrono::milliseconds delay, std::function<void()> callback);

    std::map<TimerId, std::unique_ptr<QTimer>> timers_;
};

}  // namespace orv::gui
