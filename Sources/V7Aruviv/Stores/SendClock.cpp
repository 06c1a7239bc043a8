#include "V7Aruviv/Stores/SendClock.h"

#include <chrono>
#include <algorithm>

namespace k7 {

namespace {

double seconds(Scheduler::TimePoint time) { return std::chrono::duration<double>(time.time_since_epoch()).count(); }

}  // namespace

double MonotonicSendClock::now() const { return seconds(std::chrono::steady_clock::now()); }

bool MonotonicSendClock::waitUntil(double deadline, const CancellationFlag& cancellation) {
    return cancellation.wait(deadline - now());
}

double ManualSendClock::now() const { return seconds(scheduler_->now()); }

bool ManualSendClock::waitUntil(double deadline, const CancellationFlag& cancellation) {
    // Far beyond any send wait; keeps the deadline arithmetic inside the clock's range.
    constexpr double longest = 365.0 * 24 * 3600;
    const double remaining = std::min(deadline - now(), longest);
    if (cancellation.isCancelled() || !(remaining > 0)) return cancellation.isCancelled();
    const auto delay = std::chrono::duration_cast<Scheduler::Duration>(std::chrono::duration<double>(remaining));
    bool reached = false;
    const TimerHandle marker = scheduler_->postAfter(delay, [&reached] { reached = true; });
    // The marker is pending until reached, so no step moves time past the deadline.
    while (!reached && !cancellation.isCancelled()) scheduler_->advanceToNextDeadline();
    marker.cancel();
    return cancellation.isCancelled();
}

}  // namespace k7
