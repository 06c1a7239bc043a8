#pragma once

#include <cstdint>

namespace k7 {

// Which device IDs in a received SDS message count as the device the transfer is with.
// 7F is the broadcast ID; some instruments answer as device 0 whatever they were sent.
enum class SDSDeviceMatchPolicy { exact, exactOrBroadcast, exactOrBroadcastOrDeviceZero };

inline constexpr uint8_t sdsBroadcastDeviceID = 0x7F;

inline bool sdsDeviceMatches(SDSDeviceMatchPolicy policy, uint8_t expected, uint8_t received) {
    if (received == expected) return true;
    switch (policy) {
        case SDSDeviceMatchPolicy::exact:
            return false;
        case SDSDeviceMatchPolicy::exactOrBroadcast:
            return received == sdsBroadcastDeviceID;
        case SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero:
            return received == sdsBroadcastDeviceID || received == 0;
    }
    return false;
}

}  // namespace k7
