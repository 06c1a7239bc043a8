#pragma once

#include <cstdint>

namespace k7 {

// One data packet accepted.
struct SDSReceiveProgress {
    uint8_t packetNumber = 0;
    int64_t receivedSampleWords = 0;
    int64_t totalSampleWords = 0;

    bool operator==(const SDSReceiveProgress&) const = default;
};

}  // namespace k7
