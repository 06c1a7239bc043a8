#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// F0 7E dd 02 kk <120 data bytes> ll F7: 127 bytes; kk counts 0...127 and wraps; ll is the XOR
// of bytes 1...124 masked to seven bits.
struct SDSDataPacket {
    static constexpr std::size_t byteCount = 127;
    static constexpr std::size_t payloadByteCount = 120;
    using Payload = std::array<uint8_t, payloadByteCount>;

    uint8_t deviceID = 0;
    uint8_t packetNumber = 0;
    Payload payload{};
    // As received or stored; encode() always writes the computed one.
    uint8_t checksum = 0;

    // A packet with its checksum computed. Throws SDSError valueOutOfRange for a device ID,
    // packet number or payload byte above 7F.
    static SDSDataPacket make(uint8_t deviceID, uint8_t packetNumber, const Payload& payload);

    static uint8_t computeChecksum(uint8_t deviceID, uint8_t packetNumber, const Payload& payload);
    bool hasValidChecksum() const { return checksum == computeChecksum(deviceID, packetNumber, payload); }

    Bytes encode() const;
    // Any well-formed packet, its checksum not checked (see hasValidChecksum). Throws SDSError.
    static SDSDataPacket decode(ByteView frame);
    static bool hasPacketShape(ByteView frame);

    bool operator==(const SDSDataPacket&) const = default;
};

}  // namespace k7
