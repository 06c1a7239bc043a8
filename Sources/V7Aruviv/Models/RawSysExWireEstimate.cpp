#include "V7Aruviv/Models/RawSysExWireEstimate.h"

#include <algorithm>
#include <cmath>

namespace k7 {

int rawSysExWireBytesPerSecond(TurboSpeed speed) {
    switch (speed) {
        case TurboSpeed::legacy:
        case TurboSpeed::x1: return 3125;
        case TurboSpeed::x2: return 6250;
        case TurboSpeed::x3Point3: return 10312;
        case TurboSpeed::x4: return 12500;
        case TurboSpeed::x5: return 15625;
        case TurboSpeed::x6Point7: return 20625;
        case TurboSpeed::x8: return 25000;
        case TurboSpeed::x10: return 31250;
        case TurboSpeed::x13Point3: return 41562;
        case TurboSpeed::x16: return 50000;
        case TurboSpeed::x20: return 62500;
    }
    return 3125;
}

RawSysExWireEstimate::RawSysExWireEstimate(std::vector<int64_t> counts, TurboSpeed speed, double delay,
                                           bool followingItem)
    : messageByteCounts(std::move(counts)), turboSpeed(speed), hasFollowingItem(followingItem) {
    if (messageByteCounts.empty()) messageByteCounts.push_back(1);
    for (auto& count : messageByteCounts) count = std::max<int64_t>(count, 1);
    interMessageDelay = std::isnan(delay) ? 0 : std::max(delay, 0.0);
    const double rate = rawSysExWireBytesPerSecond(speed);

    const std::size_t count = messageByteCounts.size();
    messageStartTimes.reserve(count);
    messageEndTimes.reserve(count);
    precedingMessageBytes.reserve(count);
    double time = 0;
    int64_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double end = time + static_cast<double>(messageByteCounts[i]) / rate;
        messageStartTimes.push_back(time);
        messageEndTimes.push_back(end);
        precedingMessageBytes.push_back(bytes);
        bytes += messageByteCounts[i];
        if (i + 1 < count) time = end + interMessageDelay;
    }
    totalBytes = bytes;
    modeledDuration = messageEndTimes.back() + (hasFollowingItem ? interMessageDelay : 0);
}

}  // namespace k7
