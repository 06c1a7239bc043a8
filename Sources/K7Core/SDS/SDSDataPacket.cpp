#include "K7Core/SDS/SDSDataPacket.h"

#include <algorithm>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

SDSDataPacket SDSDataPacket::make(uint8_t deviceID, uint8_t packetNumber, const Payload& payload) {
    requireRange("deviceID", deviceID, 0x7F);
    requireRange("packetNumber", packetNumber, 0x7F);
    if (!isSevenBitClean(payload)) {
        const auto bad = std::find_if(payload.begin(), payload.end(), [](uint8_t b) { return b & 0x80; });
        requireRange("payloadByte", *bad, 0x7F);
    }
    return SDSDataPacket{deviceID, packetNumber, payload, computeChecksum(deviceID, packetNumber, payload)};
}

uint8_t SDSDataPacket::computeChecksum(uint8_t deviceID, uint8_t packetNumber, const Payload& payload) {
    uint8_t sum = universalNonRealTime ^ deviceID ^ dataPacket ^ packetNumber;
    for (uint8_t byte : payload) sum ^= byte;
    return sum & 0x7F;
}

Bytes SDSDataPacket::encode() const {
    Bytes frame;
    frame.reserve(byteCount);
    frame.insert(frame.end(), {sysExStart, universalNonRealTime, deviceID, dataPacket, packetNumber});
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(computeChecksum(deviceID, packetNumber, payload));
    frame.push_back(sysExEnd);
    return frame;
}

bool SDSDataPacket::hasPacketShape(ByteView frame) {
    return frame.size() == byteCount && hasSubID(frame, dataPacket);
}

SDSDataPacket SDSDataPacket::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (!hasSubID(frame, dataPacket)) throw SDSError(SDSError::UnexpectedMessage{"data packet"});
    requireFrame(frame, byteCount, "data packet");
    SDSDataPacket packet;
    packet.deviceID = frame[2];
    packet.packetNumber = frame[4];
    std::copy_n(frame.begin() + 5, payloadByteCount, packet.payload.begin());
    packet.checksum = frame[125];
    return packet;
}

}  // namespace k7
