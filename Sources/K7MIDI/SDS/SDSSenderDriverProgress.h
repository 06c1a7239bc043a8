#pragma once

#include <cstdint>

namespace k7 {

// How far a driven SDS transfer has got, counted once per message (resends are not counted again).
struct SDSSenderDriverProgress {
    int64_t sentSampleWords = 0;
    int64_t totalSampleWords = 0;
    int64_t completedWireBytes = 0;
    int64_t totalWireBytes = 0;

    bool operator==(const SDSSenderDriverProgress&) const = default;
};

}  // namespace k7
