#include "K7Core/SDS/SDSSampleNameRequest.h"

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

SDSSampleNameRequest SDSSampleNameRequest::make(uint8_t deviceID, uint16_t sampleNumber) {
    requireRange("deviceID", deviceID, 0x7F);
    requireRange("sampleNumber", sampleNumber, 0x3FFF);
    return SDSSampleNameRequest{deviceID, sampleNumber};
}

Bytes SDSSampleNameRequest::encode() const {
    Bytes frame{sysExStart, universalNonRealTime, deviceID, extensions, sampleNameRequest};
    appendGroups(frame, sampleNumber, 2);
    frame.push_back(sysExEnd);
    return frame;
}

SDSSampleNameRequest SDSSampleNameRequest::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (!hasExtensionSubID(frame, sampleNameRequest)) {
        throw SDSError(SDSError::UnexpectedMessage{"sample-name request"});
    }
    requireFrame(frame, byteCount, "sample-name request");
    return SDSSampleNameRequest{frame[2], static_cast<uint16_t>(readGroups(frame, 5, 2))};
}

}  // namespace k7
