#pragma once

#include <chrono>

#include "K7Dispatch/Executor.h"
#include "K7Dispatch/TimerHandle.h"

namespace k7 {

// An executor with time: delayed, cancellable tasks and a monotonic clock.
class Scheduler : public Executor {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::nanoseconds;
    using TimePoint = Clock::time_point;

    // Runs `task` once `delay` has passed; tasks due at the same time run in submission order.
    virtual TimerHandle postAfter(Duration delay, Task task) = 0;
    virtual TimePoint now() const = 0;
};

}  // namespace k7
