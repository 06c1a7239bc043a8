#pragma once

#include <condition_variable>
#include <mutex>

namespace k7 {

// Stops a send: the main thread cancels, the send queue's timed waits wake at once. A cancelled
// flag stays cancelled; every send gets a new one.
class CancellationFlag {
public:
    CancellationFlag() = default;
    CancellationFlag(const CancellationFlag&) = delete;
    CancellationFlag& operator=(const CancellationFlag&) = delete;

    void cancel();
    bool isCancelled() const;

    // Waits until `seconds` have passed on the monotonic clock or the flag is cancelled, whichever
    // comes first, and returns whether it is cancelled. Wake-ups that are neither do not end the
    // wait early, so pacing between messages is never cut short. Zero, negative or NaN seconds
    // only read the flag.
    bool wait(double seconds) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable condition_;
    bool cancelled_ = false;
};

}  // namespace k7
