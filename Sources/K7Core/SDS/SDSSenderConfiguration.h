#pragma once

#include <chrono>
#include <optional>

#include "K7Core/SDS/SDSDeviceMatchPolicy.h"
#include "K7Core/SDS/SDSTransferMode.h"

namespace k7 {

// How an SDS sender runs, built field by field by the caller.
struct SDSSenderConfiguration {
    SDSTransferMode mode = SDSTransferMode::handshake;
    // Resends allowed per message group before the transfer fails; a negative value counts as 0.
    int maximumRetries = 2;
    // Handshake only. Without one, the sender waits for an answer indefinitely.
    std::optional<std::chrono::nanoseconds> acknowledgementTimeout;
    // Handshake only: the wait for the answer to the opening group (the dump header), which a
    // receiver may take longer to give than a packet's. Without one, `acknowledgementTimeout`.
    std::optional<std::chrono::nanoseconds> headerAcknowledgementTimeout;
    // Handshake only: how long a WAIT holds the sender before it resends. Without one, a WAIT
    // holds until the next handshake message.
    std::optional<std::chrono::nanoseconds> waitTimeout;
    // Open loop only: the pause between consecutive messages (a negative value counts as 0).
    std::chrono::nanoseconds openLoopInterMessageDelay{0};
    // End a dump made from samples with a six-byte end-of-file message.
    bool emitEndOfFile = false;
    SDSDeviceMatchPolicy deviceMatchPolicy = SDSDeviceMatchPolicy::exact;

    bool operator==(const SDSSenderConfiguration&) const = default;
};

}  // namespace k7
