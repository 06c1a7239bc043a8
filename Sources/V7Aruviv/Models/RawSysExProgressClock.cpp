#include "V7Aruviv/Models/RawSysExProgressClock.h"

#include <algorithm>
#include <cmath>

namespace k7 {

RawSysExProgressClock::RawSysExProgressClock(int64_t totalBytes, double bytesPerSecond)
    : totalBytes_(std::max<int64_t>(totalBytes, 0)), bytesPerSecond_(bytesPerSecond) {}

void RawSysExProgressClock::beginMessage(int64_t byteCount, double startedAt) {
    std::lock_guard guard(lock_);
    activeMessage_ = ActiveMessage{byteCount, startedAt};
}

void RawSysExProgressClock::finishMessage() {
    std::lock_guard guard(lock_);
    if (!activeMessage_) return;
    const int64_t room = totalBytes_ - completedBytesStorage_;
    completedBytesStorage_ += std::clamp<int64_t>(activeMessage_->byteCount, 0, room);
    activeMessage_.reset();
}

int64_t RawSysExProgressClock::completedBytes(double at) const {
    std::lock_guard guard(lock_);
    if (!activeMessage_) return completedBytesStorage_;
    const double elapsed = std::max(at - activeMessage_->startedAt, 0.0);
    const int64_t ceiling = std::max<int64_t>(activeMessage_->byteCount - 1, 0);
    const double estimate = std::floor(bytesPerSecond_ * elapsed);
    // Compared as doubles first: a huge or NaN estimate must not reach the integer conversion.
    int64_t partial = 0;
    if (estimate >= static_cast<double>(ceiling)) {
        partial = ceiling;
    } else if (estimate > 0) {
        partial = static_cast<int64_t>(estimate);
    }
    return completedBytesStorage_ + std::min(partial, totalBytes_ - completedBytesStorage_);
}

}  // namespace k7
