#include "V7Aruviv/App/QtMainScheduler.h"

#include <QThread>
#include <QTimer>
#include <chrono>
#include <utility>

namespace k7 {

QtMainScheduler::QtMainScheduler() : context_(new QObject) {}

QtMainScheduler::~QtMainScheduler() { delete context_; }

void QtMainScheduler::post(Task task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

TimerHandle QtMainScheduler::postAfter(Duration delay, Task task) {
    TimerHandle handle = TimerHandle::make();
    const TimePoint deadline = now() + std::max(delay, Duration::zero());
    if (QThread::currentThread() == context_->thread()) {
        startTimer(deadline, handle, std::move(task));
    } else {
        // Timers belong to the thread that starts them: start it on the main thread, counting
        // from the moment of this call.
        QMetaObject::invokeMethod(
            context_, [this, deadline, handle, task = std::move(task)]() mutable { startTimer(deadline, handle, std::move(task)); },
            Qt::QueuedConnection);
    }
    return handle;
}

void QtMainScheduler::startTimer(TimePoint deadline, TimerHandle handle, Task task) {
    // Rounded up, so that a task never runs before its deadline.
    const auto remaining = std::max(deadline - now(), Duration::zero());
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(remaining);
    auto run = [handle, task = std::move(task)] {
        if (!handle.isCancelled()) task();
    };
    if (milliseconds.count() == 0) {
        QMetaObject::invokeMethod(context_, std::move(run), Qt::QueuedConnection);
        return;
    }
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, context_, std::move(run));
}

Scheduler::TimePoint QtMainScheduler::now() const { return Clock::now(); }

}  // namespace k7
