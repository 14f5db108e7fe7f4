#include "shell/gui/qt_timer_service.h"

#include <QThread>

namespace orv::gui {

QtTimerService::~QtTimerService() = default;

void QtTimerService::runOnOwnThread(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void QtTimerService::armHere(TimerId id, std::chrono::milliseconds delay,
                             std::function<void()> callback) {
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
    }
    timer->disconnect();
    // The callback may arm or kill this very timer: it runs from a copy, after the timer is done.
    QObject::connect(timer.get(), &QTimer::timeout, this, [callback = std::move(callback)] {
        const std::function<void()> run = callback;
        run();
    });
    timer->start(delay);
}

void QtTimerService::arm(TimerId id, std::chrono::milliseconds delay,
                         std::function<void()> callback) {
    runOnOwnThread([this, id, delay, callback = std::move(callback)]() mutable {
        armHere(id, delay, std::move(callback));
    });
}

void QtTimerService::kill(TimerId id) {
    runOnOwnThread([this, id] {
        const auto it = timers_.find(id);
        if (it != timers_.end()) it->second->stop();
    });
}

void QtTimerService::post(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

bool QtTimerService::armed(TimerId id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

}  // namespace orv::gui
