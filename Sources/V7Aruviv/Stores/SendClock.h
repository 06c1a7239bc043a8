#pragma once

#include <memory>

#include "K7Dispatch/ManualScheduler.h"
#include "V7Aruviv/Stores/CancellationFlag.h"

namespace k7 {

// The time of the send queue: the raw SysEx worker paces its messages with it and the device-settle
// waits wait on it. Kept apart from the main scheduler because these waits block the queue they
// run on: in the program that is the ".transfer.send" thread waiting on the monotonic clock, in
// tests a ManualScheduler that the waiting task itself must move forward.
class SendClock {
public:
    virtual ~SendClock() = default;
    // Seconds on a monotonic clock.
    virtual double now() const = 0;
    // Returns at `deadline` (on now()'s scale) or as soon as the flag is cancelled, whichever comes
    // first; true when cancelled. A deadline already passed only reads the flag.
    virtual bool waitUntil(double deadline, const CancellationFlag& cancellation) = 0;
};

// The program's: the monotonic clock, waited with the flag's timed wait.
class MonotonicSendClock final : public SendClock {
public:
    double now() const override;
    bool waitUntil(double deadline, const CancellationFlag& cancellation) override;
};

// Virtual time: a wait runs the scheduler's tasks in deadline order up to the deadline, so that
// whatever would happen meanwhile on other threads (progress timers, a Stop, the instrument's
// replies) happens during the wait, and stops as soon as one of them cancels the flag. For tests and
// benchmarks whose work queues are that scheduler.
class ManualSendClock final : public SendClock {
public:
    explicit ManualSendClock(std::shared_ptr<ManualScheduler> scheduler) : scheduler_(std::move(scheduler)) {}
    double now() const override;
    bool waitUntil(double deadline, const CancellationFlag& cancellation) override;

private:
    std::shared_ptr<ManualScheduler> scheduler_;
};

}  // namespace k7
