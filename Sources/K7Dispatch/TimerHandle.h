#pragma once

#include <atomic>
#include <memory>

namespace k7 {

// Cancels one delayed task. Cancelling from the scheduler's own thread before the task started
// guarantees it never runs; a task already running is not interrupted. Copies share the task.
class TimerHandle {
public:
    TimerHandle() = default;
    static TimerHandle make() { return TimerHandle(std::make_shared<std::atomic<bool>>(false)); }

    void cancel() const {
        if (cancelled_) cancelled_->store(true, std::memory_order_release);
    }
    bool isCancelled() const { return cancelled_ && cancelled_->load(std::memory_order_acquire); }
    explicit operator bool() const { return cancelled_ != nullptr; }

private:
    explicit TimerHandle(std::shared_ptr<std::atomic<bool>> flag) : cancelled_(std::move(flag)) {}
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

}  // namespace k7
