#include "V7Aruviv/Support/TransferProgressEstimator.h"

#include <algorithm>
#include <cmath>

namespace k7 {

namespace {
constexpr double observationInterval = 0.1;
constexpr double windowSeconds = 8;
constexpr double minimumSpan = 2;
constexpr double smoothing = 0.1;
}  // namespace

TransferProgressEstimate TransferProgressEstimator::update(double completedBytes, double totalBytes, double at) {
    // A NaN time must not start the series: every later span would be NaN and no rate would form.
    if (std::isnan(at)) {
        if (samples_.empty()) return {};
        at = samples_.back().time;
    }
    const double total = std::isnan(totalBytes) ? 1 : std::max(totalBytes, 1.0);
    const double completed = std::isnan(completedBytes) ? 0 : std::max(completedBytes, 0.0);
    if (samples_.empty()) {
        samples_.push_back(Sample{at, 0});
        currentBytesPerSecond_.reset();
        highestCompletedBytes_ = 0;
    }
    highestCompletedBytes_ = std::max(highestCompletedBytes_, std::min(completed, total));
    const Sample last = samples_.back();
    const double time = std::max(last.time, at);
    const bool complete = total <= highestCompletedBytes_;

    if (time - last.time >= observationInterval || complete) {
        if (time == last.time) {
            samples_.back().completedBytes = highestCompletedBytes_;
        } else {
            samples_.push_back(Sample{time, highestCompletedBytes_});
        }
        updateRate(complete);
    }

    if (currentBytesPerSecond_ && *currentBytesPerSecond_ > 0) {
        const double rate = *currentBytesPerSecond_;
        return TransferProgressEstimate{rate, std::max(total - highestCompletedBytes_, 0.0) / rate};
    }
    return TransferProgressEstimate{};
}

void TransferProgressEstimator::updateRate(bool isComplete) {
    if (samples_.empty()) return;
    const Sample newest = samples_.back();
    std::size_t oldest = 0;
    while (samples_.size() - oldest >= 3 && newest.time - samples_[oldest + 1].time >= windowSeconds) ++oldest;
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(oldest));

    const double span = newest.time - samples_.front().time;
    if (!(span > 0) || (span < minimumSpan && !isComplete)) return;
    const double delta = newest.completedBytes - samples_.front().completedBytes;
    const double rate = delta / span;
    if (delta > 0 && std::isfinite(rate)) {
        currentBytesPerSecond_ = currentBytesPerSecond_ ? smoothing * rate + (1 - smoothing) * *currentBytesPerSecond_ : rate;
    } else {
        currentBytesPerSecond_.reset();
    }
}

}  // namespace k7
