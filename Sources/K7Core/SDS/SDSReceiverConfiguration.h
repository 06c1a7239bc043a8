#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "K7Core/SDS/SDSDeviceMatchPolicy.h"
#include "K7Core/SDS/SDSTransferMode.h"

namespace k7 {

// How an SDS receiver runs; the fields in the order callers build it.
struct SDSReceiverConfiguration {
    SDSTransferMode mode = SDSTransferMode::handshake;
    // The device ID a dump header must carry (by the match policy) to be received.
    uint8_t deviceID = 0;
    SDSDeviceMatchPolicy deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcast;
    // NAKs (and timeouts) allowed per packet before the dump fails; a negative value counts as 0.
    int maximumRetries = 2;
    // Handshake only: how long to wait for the next packet before asking for it again.
    std::optional<std::chrono::nanoseconds> packetTimeout;
    // Handshake only: answer the last packet's ACK with an end-of-file message.
    bool emitEndOfFile = false;
    // A header announcing more is refused with a CANCEL.
    int64_t maximumSampleWords = 16777216;

    bool operator==(const SDSReceiverConfiguration&) const = default;
};

}  // namespace k7
