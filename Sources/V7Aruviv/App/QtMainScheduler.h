#pragma once

#include <QObject>
#include <QPointer>

#include "K7Dispatch/Scheduler.h"

namespace k7 {

// The program's main thread as a Scheduler: tasks run on the Qt event loop of the thread that made
// the scheduler, in the order they were posted; delayed tasks use precise single-shot timers. Any
// thread may post. Tasks still pending when the scheduler is destroyed never run.
class QtMainScheduler final : public Scheduler {
public:
    QtMainScheduler();
    ~QtMainScheduler() override;

    QtMainScheduler(const QtMainScheduler&) = delete;
    QtMainScheduler& operator=(const QtMainScheduler&) = delete;

    void post(Task task) override;
    TimerHandle postAfter(Duration delay, Task task) override;
    TimePoint now() const override;

private:
    void startTimer(TimePoint deadline, TimerHandle handle, Task task);

    // Owned here, living on the main thread; queued invocations die with it.
    QObject* context_;
};

}  // namespace k7
