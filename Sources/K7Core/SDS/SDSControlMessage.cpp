#include "K7Core/SDS/SDSControlMessage.h"

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

SDSControlMessage SDSControlMessage::make(Kind kind, uint8_t deviceID, uint8_t packetNumber) {
    requireRange("deviceID", deviceID, 0x7F);
    requireRange("packetNumber", packetNumber, 0x7F);
    return SDSControlMessage{kind, deviceID, packetNumber};
}

Bytes SDSControlMessage::encode() const {
    return Bytes{sysExStart, universalNonRealTime, deviceID, static_cast<uint8_t>(kind), packetNumber, sysExEnd};
}

SDSControlMessage SDSControlMessage::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (frame.size() < 4 || frame[1] != universalNonRealTime) {
        throw SDSError(SDSError::UnexpectedMessage{"handshake message"});
    }
    const uint8_t code = frame[3];
    if (code < static_cast<uint8_t>(Kind::endOfFile)) throw SDSError(SDSError::UnknownControlCode{code});
    requireFrame(frame, byteCount, "handshake message");
    return SDSControlMessage{static_cast<Kind>(code), frame[2], frame[4]};
}

std::string caseName(SDSControlMessage::Kind kind) {
    switch (kind) {
        case SDSControlMessage::Kind::acknowledge:
            return "ACK";
        case SDSControlMessage::Kind::negativeAcknowledge:
            return "NAK";
        case SDSControlMessage::Kind::cancel:
            return "CANCEL";
        case SDSControlMessage::Kind::wait:
            return "WAIT";
        case SDSControlMessage::Kind::endOfFile:
            return "EOF";
    }
    return "";
}

}  // namespace k7
