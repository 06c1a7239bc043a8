#pragma once

#include <optional>
#include <vector>

namespace k7 {

struct TransferProgressEstimate {
    std::optional<double> bytesPerSecond;
    std::optional<double> secondsRemaining;
    bool operator==(const TransferProgressEstimate&) const = default;
};

// Transfer rate and time remaining from progress observations: a smoothed rate over a window of
// about 8 s, given only once 2 s of observations span (or the transfer is complete).
class TransferProgressEstimator {
public:
    struct Sample {
        double time;
        double completedBytes;
        bool operator==(const Sample&) const = default;
    };

    TransferProgressEstimate update(double completedBytes, double totalBytes, double at);

    const std::vector<Sample>& samples() const { return samples_; }
    double highestCompletedBytes() const { return highestCompletedBytes_; }
    std::optional<double> currentBytesPerSecond() const { return currentBytesPerSecond_; }

private:
    void updateRate(bool isComplete);

    std::vector<Sample> samples_;
    double highestCompletedBytes_ = 0;
    std::optional<double> currentBytesPerSecond_;
};

}  // namespace k7
