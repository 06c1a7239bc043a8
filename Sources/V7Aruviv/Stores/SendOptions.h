#pragma once

#include <cstdint>

#include "V7Aruviv/Models/AppPreferences.h"

namespace k7 {

// What a send uses, frozen from the plan's preferences when it starts.
struct SendOptions {
    int64_t delayNanoseconds = 0;  // open-loop delay after each raw SysEx message
    bool useHandshake = false;
    bool useExtendedSDS = false;
    bool sendSPS1UWName = false;
    uint8_t deviceNumber = 0;

    // As a send computes them from its preferences: the delay clamped to 0...120 ticks of 1/60 s,
    // the device number to 127.
    static SendOptions from(const AppPreferences& preferences);

    bool operator==(const SendOptions&) const = default;
};

}  // namespace k7
