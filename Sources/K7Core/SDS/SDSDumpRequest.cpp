#include "K7Core/SDS/SDSDumpRequest.h"

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

SDSDumpRequest SDSDumpRequest::make(uint8_t deviceID, uint16_t sampleNumber) {
    requireRange("deviceID", deviceID, 0x7F);
    requireRange("sampleNumber", sampleNumber, 0x3FFF);
    return SDSDumpRequest{deviceID, sampleNumber};
}

Bytes SDSDumpRequest::encode() const {
    Bytes frame{sysExStart, universalNonRealTime, deviceID, dumpRequest};
    appendGroups(frame, sampleNumber, 2);
    frame.push_back(sysExEnd);
    return frame;
}

SDSDumpRequest SDSDumpRequest::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (!hasSubID(frame, dumpRequest)) throw SDSError(SDSError::UnexpectedMessage{"dump request"});
    requireFrame(frame, byteCount, "dump request");
    return SDSDumpRequest{frame[2], static_cast<uint16_t>(readGroups(frame, 4, 2))};
}

}  // namespace k7
