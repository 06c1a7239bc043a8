#include "K7Dispatch/ManualScheduler.h"

namespace k7 {

void ManualScheduler::post(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push(now_, std::move(task));
}

TimerHandle ManualScheduler::postAfter(Duration delay, Task task) {
    auto handle = TimerHandle::make();
    std::lock_guard lock(mutex_);
    tasks_.push(now_ + std::max(delay, Duration::zero()), std::move(task), handle);
    return handle;
}

Scheduler::TimePoint ManualScheduler::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t ManualScheduler::pendingTaskCount() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

bool ManualScheduler::runOne(TimePoint until) {
    std::unique_lock lock(mutex_);
    auto due = tasks_.popDue(until);
    // A cancelled timer neither runs nor moves the clock.
    while (due && due->handle.isCancelled()) due = tasks_.popDue(until);
    if (!due) return false;
    if (due->deadline > now_) now_ = due->deadline;
    lock.unlock();
    due->task();
    return true;
}

std::size_t ManualScheduler::runUntilIdle() {
    std::size_t ran = 0;
    while (runOne(now())) ++ran;
    return ran;
}

std::size_t ManualScheduler::advance(Duration duration) {
    const TimePoint target = now() + std::max(duration, Duration::zero());
    std::size_t ran = 0;
    while (runOne(target)) ++ran;
    std::lock_guard lock(mutex_);
    if (now_ < target) now_ = target;
    return ran;
}

bool ManualScheduler::advanceToNextDeadline() {
    std::optional<TimePoint> next;
    {
        std::lock_guard lock(mutex_);
        tasks_.discardCancelledFront();
        next = tasks_.nextDeadline();
        if (!next) return false;
        if (*next > now_) now_ = *next;
    }
    runUntilIdle();
    return true;
}

std::size_t ManualScheduler::runAll(std::size_t limit) {
    std::size_t ran = 0;
    while (ran < limit && runOne(TimePoint::max())) ++ran;
    return ran;
}

}  // namespace k7
