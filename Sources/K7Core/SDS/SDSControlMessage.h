#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// The six-byte handshake messages F0 7E dd cc pp F7, pp the packet number they refer to.
struct SDSControlMessage {
    static constexpr std::size_t byteCount = 6;

    enum class Kind : uint8_t {
        acknowledge = 0x7F,
        negativeAcknowledge = 0x7E,
        cancel = 0x7D,
        wait = 0x7C,
        endOfFile = 0x7B,
    };

    Kind kind = Kind::acknowledge;
    uint8_t deviceID = 0;
    uint8_t packetNumber = 0;

    // Throws SDSError valueOutOfRange for a device ID or packet number above 7F.
    static SDSControlMessage make(Kind kind, uint8_t deviceID, uint8_t packetNumber);

    Bytes encode() const;
    // Throws SDSError for anything but one of the five handshake messages.
    static SDSControlMessage decode(ByteView frame);

    bool operator==(const SDSControlMessage&) const = default;
};

// "ACK", "NAK", "CANCEL", "WAIT", "EOF".
std::string caseName(SDSControlMessage::Kind kind);

}  // namespace k7
