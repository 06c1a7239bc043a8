#pragma once

#include <cstdint>
#include <string>

namespace k7 {

// How a driven SDS transfer ended well: every message acknowledged by the device, or (open loop)
// every message handed to the transport with no word from the device either way.
struct SDSSenderDriverCompletion {
    enum class Kind { openLoopTransportSubmitted, handshakeAcknowledged };

    Kind kind = Kind::openLoopTransportSubmitted;
    // The slot after the one the dump was sent to.
    uint16_t nextSamplePosition = 0;

    static SDSSenderDriverCompletion openLoopTransportSubmitted(uint16_t nextSamplePosition) {
        return {Kind::openLoopTransportSubmitted, nextSamplePosition};
    }
    static SDSSenderDriverCompletion handshakeAcknowledged(uint16_t nextSamplePosition) {
        return {Kind::handshakeAcknowledged, nextSamplePosition};
    }

    // "handshakeAcknowledged(nextSamplePosition: 12)", as diagnostics classify the completion.
    std::string describe() const;

    bool operator==(const SDSSenderDriverCompletion&) const = default;
};

}  // namespace k7
