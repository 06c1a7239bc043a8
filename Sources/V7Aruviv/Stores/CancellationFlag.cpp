#include "V7Aruviv/Stores/CancellationFlag.h"

#include <chrono>
#include <cmath>

namespace k7 {

void CancellationFlag::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    condition_.notify_all();
}

bool CancellationFlag::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool CancellationFlag::wait(double seconds) const {
    std::unique_lock lock(mutex_);
    if (!(seconds > 0) || cancelled_) return cancelled_;
    // Far beyond any pacing wait; keeps the deadline arithmetic inside the clock's range.
    constexpr double longest = 365.0 * 24 * 3600;
    if (seconds > longest) seconds = longest;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    condition_.wait_until(lock, deadline, [this] { return cancelled_; });
    return cancelled_;
}

}  // namespace k7
