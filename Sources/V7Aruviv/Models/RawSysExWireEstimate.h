#pragma once

#include <cstdint>
#include <vector>

#include "K7Core/Turbo/TurboSpeed.h"

namespace k7 {

// The application's wire rate of raw SysEx at each Turbo speed, in bytes per second.
int rawSysExWireBytesPerSecond(TurboSpeed speed);

// The modelled timing of one raw SysEx item: each message written at the wire rate, then the
// inter-message delay.
struct RawSysExWireEstimate {
    std::vector<int64_t> messageByteCounts;  // each at least 1
    int64_t totalBytes = 0;
    TurboSpeed turboSpeed = TurboSpeed::x1;
    double interMessageDelay = 0;  // seconds, at least 0
    bool hasFollowingItem = false;
    std::vector<double> messageStartTimes;
    std::vector<double> messageEndTimes;
    std::vector<int64_t> precedingMessageBytes;
    double modeledDuration = 0;  // seconds; the delay after the last message only when an item follows

    // Counts below 1 (and an empty list) are taken as one byte; a negative or NaN delay as 0.
    RawSysExWireEstimate(std::vector<int64_t> messageByteCounts, TurboSpeed turboSpeed, double interMessageDelay,
                         bool hasFollowingItem);

    bool operator==(const RawSysExWireEstimate&) const = default;
};

}  // namespace k7
