#pragma once

#include <cstdint>

namespace k7 {

// What a send uses, frozen from the plan's preferences when it starts.
struct SendOptions {
    int64_t delayNanoseconds = 0;  // open-loop delay after each raw SysEx message
    bool useHandshake = false;
    bool useExtendedSDS = false;
    bool sendSPS1UWName = false;
    uint8_t deviceNumber = 0;

    bool operator==(const SendOptions&) const = default;
};

}  // namespace k7
