#include "V7Aruviv/Stores/SendOptions.h"

#include <algorithm>

namespace k7 {

SendOptions SendOptions::from(const AppPreferences& preferences) {
    SendOptions options;
    const int64_t ticks = std::clamp<int64_t>(preferences.delayTicks, 0, 120);
    options.delayNanoseconds = ticks * 1'000'000'000 / 60;
    options.useHandshake = preferences.useHandshake;
    options.useExtendedSDS = preferences.useExtendedSDS;
    options.sendSPS1UWName = preferences.sendSPS1UWName;
    options.deviceNumber = std::min<uint8_t>(preferences.deviceNumber, 127);
    return options;
}

}  // namespace k7
